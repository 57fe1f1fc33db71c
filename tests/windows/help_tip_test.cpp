// The help tip window driven tick by tick against a fake pointer, screen and
// monitors; then the main dialog's tips with the real system, and one hover
// with the real pointer under Xvfb.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include "help_tip_request.h"
#include "help_tip_shadow.h"
#include "help_tip_wnd.h"
#include "kivrel_dlg.h"
#include "resource.h"
#include "resource_string.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

constexpr UINT_PTR kTick = 2;
constexpr int kCursorHeight = 20;
constexpr uint32_t kScreen = 0x00C08040;  // the fake screen, everywhere

std::pair<LONG, LONG> TopLeft(const CRect& rect) { return {rect.left, rect.top}; }

class FakeSystem : public IHelpTipSystem {
public:
    BOOL GetCursorPos(POINT* point) override { return *point = cursor, TRUE; }
    HWND WindowFromPoint(POINT) override { return under; }
    HWND GetForegroundWindow() override { return foreground; }
    BOOL GetWorkArea(POINT point, RECT* area) override {
        *area = monitors.front();
        for (const RECT& monitor : monitors) {
            if (::PtInRect(&monitor, point)) *area = monitor;
        }
        return TRUE;
    }
    int GetCursorHeight() override { return kCursorHeight; }
    BOOL IsMousePresent() override { return mouse; }
    BOOL CaptureScreen(const RECT& area, std::vector<uint32_t>& pixels) override {
        captures.push_back(area);
        capturedWhileShown |= tip != nullptr && ::IsWindowVisible(tip);
        pixels.assign(static_cast<size_t>(area.right - area.left) * (area.bottom - area.top),
                      kScreen);
        return TRUE;
    }

    POINT cursor{100, 100};
    HWND under = nullptr, foreground = nullptr, tip = nullptr;
    std::vector<RECT> monitors{RECT{0, 0, 1024, 768}};
    BOOL mouse = TRUE;
    std::vector<RECT> captures;
    bool capturedWhileShown = false;
};

// Answers the tip requests addressed to it and records them.
class CAnswerWnd : public CWnd {
public:
    std::string answer = "Tip of the child";
    std::vector<NMHELPTIP> requests;
    std::function<void(NMHELPTIP&)> onRequest;

protected:
    BOOL OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT*) override {
        NMHELPTIP& request = *reinterpret_cast<NMHELPTIP*>(lParam);
        if (message != WM_NOTIFY || request.hdr.code != HTN_NEEDTEXT) return FALSE;
        requests.push_back(request);
        if (onRequest) return onRequest(request), TRUE;
        ::lstrcpynA(request.szText, answer.c_str(), sizeof(request.szText));
        return TRUE;
    }
};

class CTestTip : public CHelpTipWnd {
public:
    using CHelpTipWnd::CHelpTipWnd;
    using CHelpTipWnd::m_nStillTicks;
};

class HelpTip : public testing::Test {
protected:
    void SetUp() override {
        owner = TestWindow(WS_POPUP, {0, 0, 600, 400}, nullptr, 0, "STATIC");
        child = TestWindow(WS_CHILD, {10, 10, 200, 40}, owner, 41, "STATIC");
        ASSERT_TRUE(answering.SubclassWindow(child));
        system.foreground = owner;
        system.under = child;
        ASSERT_TRUE(tip.Toggle(owner));
        system.tip = tip.GetSafeHwnd();
    }
    void TearDown() override {
        tip.DestroyWindow();
        ::DestroyWindow(owner);
    }
    // Ticks as the timer would; the busy mark never outlives a tick.
    void Tick(int count = 1) {
        for (int k = 0; k < count; ++k) {
            tip.OnTimer(kTick);
            ASSERT_TRUE(tip.CanToggle());
        }
    }
    // The pointer arrives somewhere new, then rests until the tip shows.
    void RestAt(POINT point) {
        system.cursor = point;
        Tick(1 + 5);
    }
    void RestNearby() { RestAt(POINT{system.cursor.x + 3, system.cursor.y}); }
    bool Shown() const { return ::IsWindowVisible(tip.GetSafeHwnd()) != FALSE; }
    CRect TipRect() const { return WindowRect(tip.GetSafeHwnd()); }

    FakeSystem system;
    HWND owner = nullptr, child = nullptr;
    CAnswerWnd answering;
    CTestTip tip{&system};
};

TEST_F(HelpTip, AppearsOnTheFifthStillTickAndGoesWhenThePointerOrTheApplicationChanges) {
    // t: tick (the first sees the pointer arrive), m: pointer moved, o: another
    // application in front, d: owner disabled, a: application (de)activated,
    // c: the same answer in capitals, n: a new answer.
    const std::pair<const char*, const char*> cases[] = {
        {"ttttt", nullptr},
        {"tttttt", "Tip of the child"},
        {"ttttttmt", nullptr},
        {"ttttttmtttttt", "Tip of the child"},
        {"otttttt", nullptr},
        {"dtttttt", nullptr},
        {"ttttttattttt", nullptr},
        {"ttttttcttttt", "Tip of the child"},
        {"ttttttnttttt", "Another, longer tip"},
    };
    for (const auto& [steps, shown] : cases) {
        system.cursor = POINT{system.cursor.x + 7, 100};
        system.foreground = owner;
        ::EnableWindow(owner, TRUE);
        answering.answer = "Tip of the child";
        for (const char* step = steps; *step != '\0'; ++step) {
            if (*step == 't') Tick();
            if (*step == 'm') system.cursor.y += 1;
            if (*step == 'o') system.foreground = nullptr;
            if (*step == 'd') ::EnableWindow(owner, FALSE);
            if (*step == 'a') ::SendMessageA(tip.GetSafeHwnd(), WM_ACTIVATEAPP, FALSE, 0);
            if (*step == 'c') answering.answer = "TIP OF THE CHILD";
            if (*step == 'n') answering.answer = "Another, longer tip";
        }
        EXPECT_EQ(Shown(), shown != nullptr) << steps;
        if (shown != nullptr) {
            EXPECT_STREQ(tip.GetTipText(), shown) << steps;
        }
    }
}

TEST_F(HelpTip, StaysInsideTheWorkAreaOfThePointersMonitor) {
    RestAt(POINT{100, 100});
    const int w = TipRect().Width(), h = TipRect().Height();
    // A task bar below the primary monitor, a second one on its right, a
    // third on its left and higher.
    system.monitors = {{0, 0, 1024, 740}, {1024, 0, 2048, 768}, {-1280, -200, 0, 824}};
    struct Case {
        POINT cursor;
        int left, top;
    } const cases[] = {
        {{1020, 300}, 1024 - w, 300 + kCursorHeight},
        {{400, 735}, 400, 735 - h - 2},
        {{1500, 300}, 1500, 300 + kCursorHeight},
        {{2040, 300}, 2048 - w, 300 + kCursorHeight},
        {{1500, 760}, 1500, 760 - h - 2},
        {{-3, 10}, -w, 10 + kCursorHeight},
    };
    for (const Case& c : cases) {
        ::SetWindowPos(owner, nullptr, c.cursor.x - 50, c.cursor.y - 50, 100, 100,
                       SWP_NOZORDER | SWP_NOACTIVATE);  // the owner lies under the pointer
        RestAt(c.cursor);
        ASSERT_TRUE(Shown()) << c.cursor.x << "," << c.cursor.y;
        EXPECT_EQ(TopLeft(TipRect()), TopLeft(CRect(c.left, c.top, 0, 0)))
            << c.cursor.x << "," << c.cursor.y;
    }
    // An answering window may move the tip.
    answering.onRequest = [](NMHELPTIP& request) {
        request.x += 40;
        ::lstrcpyA(request.szText, "Moved");
    };
    ::SetWindowPos(owner, nullptr, 0, 0, 600, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    RestAt(POINT{400, 300});
    EXPECT_EQ(TipRect().left, 440);
}

TEST_F(HelpTip, ShadowIsTheScreenBeneathTakenBeforeShowingAndDarkened) {
    RestNearby();
    ASSERT_TRUE(Shown());
    const CRect rect = TipRect();
    ASSERT_EQ(system.captures.size(), 1u);
    EXPECT_EQ(CRect(system.captures.front()), rect);
    EXPECT_FALSE(system.capturedWhileShown);
    ::RedrawWindow(tip.GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = ::GetDC(tip.GetSafeHwnd());
    const int w = rect.Width(), h = rect.Height();
    const int cases[][3] = {{w - 5, h / 2, 80}, {w - 5, 0, 0}, {4, h - 5, 64}};
    for (const auto& [x, y, depth] : cases) {
        EXPECT_EQ(::GetPixel(dc, x, y), RGB(0xC0 - depth, 0x80 - depth, std::max(0x40 - depth, 0)))
            << x << "," << y;
    }
    ::ReleaseDC(tip.GetSafeHwnd(), dc);
}

TEST_F(HelpTip, BadAnswersAndGoneOrForeignWindowsShowNothingWrong) {
    answering.onRequest = [](NMHELPTIP& request) {  // a full buffer, unterminated
        std::memset(request.szText, 'x', sizeof(request.szText));
    };
    RestNearby();
    EXPECT_EQ(std::strlen(tip.GetTipText()), sizeof(NMHELPTIP::szText) - 1);
    answering.onRequest = nullptr;
    answering.answer = "\n\n\n";
    RestNearby();
    EXPECT_FALSE(Shown());
    answering.answer = "Never asked";
    HWND target = TestWindow(WS_CHILD, {300, 10, 350, 40}, owner, 9, "STATIC");
    tip.RedirectTool(child, target);
    ::DestroyWindow(target);
    RestNearby();
    std::atomic<HWND> foreign{nullptr};
    std::atomic<bool> done{false};
    std::thread other([&] {  // a window of another thread
        foreign = TestWindow(WS_POPUP, {20, 20, 60, 60}, nullptr, 0, "STATIC");
        while (!done) ::Sleep(5);
        ::DestroyWindow(foreign);
    });
    while (foreign == nullptr) ::Sleep(5);
    system.under = foreign;
    RestNearby();
    done = true;
    other.join();
    EXPECT_FALSE(Shown());
    EXPECT_EQ(answering.requests.size(), 2u);  // the two bad answers only
}

TEST_F(HelpTip, ItsStateIsClearedWhenItsWindowGoesAndWhileItIsBusy) {
    answering.onRequest = [&](NMHELPTIP& request) {
        // Inside the request: busy, so nothing switches or ticks in between.
        EXPECT_FALSE(tip.CanToggle() || tip.Toggle(owner));
        const UINT ticks = tip.m_nStillTicks;
        tip.OnTimer(kTick);
        EXPECT_EQ(tip.m_nStillTicks, ticks);
        ::lstrcpyA(request.szText, "Busy");
    };
    RestNearby();
    EXPECT_TRUE(Shown() && tip.CanToggle());
    // The owner takes the tip window with it: the tips are off, not stuck on.
    ::DestroyWindow(owner);
    EXPECT_FALSE(tip.IsOn());
    owner = TestWindow(WS_POPUP, {0, 0, 600, 400}, nullptr, 0, "STATIC");
    EXPECT_TRUE(tip.Toggle(owner) && tip.IsOn());
    EXPECT_EQ(::GetParent(tip.GetSafeHwnd()), owner);
    system.mouse = FALSE;  // asked once, at construction
    CHelpTipWnd mouseless(&system);
    EXPECT_FALSE(mouseless.CanToggle() || mouseless.Toggle(owner) || mouseless.IsOn());
}

TEST(HelpTipAnswer, ATextAsLongAsTheBufferIsNotCopied) {
    NMHELPTIP request{};
    EXPECT_FALSE(AnswerHelpTip(&request, 40000));  // 512 characters: no room for the end
    EXPECT_EQ(request.szText[0], '\0');
    EXPECT_TRUE(AnswerHelpTip(&request, IDS_TIP_EXIT));
    EXPECT_STREQ(request.szText, "Exit the application");
}

// The main dialog with its tip window in reach.
class CTipDialog : public CKivrelDlg {
public:
    CHelpTipWnd& Tips() { return m_helpTips; }
};

class MainDialogTips : public DialogTest {
protected:
    void TearDown() override {
        DialogTest::TearDown();
        ::SetCursorPos(0, 0);  // no tip over later tests
    }
};

// Each control's tip through the tip window, and a request sent by hand: the
// answer writes the text and leaves every other field as it was.
TEST_F(MainDialogTips, ControlsAnswerWithTheirStringsAndWriteOnlyTheText) {
    CTipDialog dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        CHelpTipWnd& tips = dialog.Tips();
        ::SetForegroundWindow(hWnd);
        struct Case {
            int control;
            UINT text;
            bool askedIsDialog;  // the buttons' requests go to the dialog
        } const cases[] = {
            {IDC_FIND_MODULE, IDS_TIP_FIND_MODULE, true},
            {IDC_FIND_INITIAL_DIR, IDS_TIP_FIND_INITIAL_DIR, true},
            {IDOK, IDS_TIP_SCAN, true},
            {IDCANCEL, IDS_TIP_EXIT, true},
            {IDC_RESULTS, IDS_TIP_RESULTS, false},
            {IDC_MODULE, IDS_TIP_MODULE, false},
            {IDC_INITIAL_DIR, IDS_TIP_INITIAL_DIR, false},
        };
        for (const auto& [control, text, askedIsDialog] : cases) {
            const POINT point = CentreOf(::GetDlgItem(hWnd, control));
            ::SetCursorPos(point.x, point.y);
            // Wine moves the pointer as it handles its messages, and the last
            // tip may lie over this control: deactivation hides it.
            PumpMessages(20);
            POINT now{};
            PumpUntil([&] { return ::GetCursorPos(&now) && now.x == point.x && now.y == point.y; });
            ::SendMessageA(tips.GetSafeHwnd(), WM_ACTIVATEAPP, FALSE, 0);
            for (int tick = 0; tick < 40 && tips.GetTipText() != LoadResString(text); ++tick) {
                tips.OnTimer(kTick);
                PumpMessages(5);
            }
            EXPECT_TRUE(::IsWindowVisible(tips.GetSafeHwnd()))
                << control << " pointer " << now.x << "," << now.y << " in front "
                << (::GetForegroundWindow() == hWnd);
            EXPECT_EQ(tips.GetTipText(), LoadResString(text)) << control;

            const HWND asked = askedIsDialog ? hWnd : ::GetDlgItem(hWnd, control);
            const UINT_PTR id = static_cast<UINT_PTR>(control);
            NMHELPTIP request{{asked, id, HTN_NEEDTEXT}, -123456, 654321, 0xA5A5A5A5u, ""};
            ::SendMessageA(asked, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&request));
            EXPECT_EQ(request.szText, LoadResString(text)) << control;
            EXPECT_TRUE(request.hdr.hwndFrom == asked && request.hdr.idFrom == id &&
                        request.hdr.code == static_cast<UINT>(HTN_NEEDTEXT) &&
                        request.x == -123456 && request.y == 654321 &&
                        request.dwFlags == 0xA5A5A5A5u)
                << control;
        }
    });
}

TEST_F(MainDialogTips, HelpSettingSwitchesTheTipsAndExitWritesItBack) {
    const std::pair<std::optional<DWORD>, bool> cases[] = {
        {std::nullopt, true}, {1, true}, {0, false}};
    for (const auto& [stored, on] : cases) {
        DeleteRegistryTree(kTestSectionPath);
        if (stored) {
            const DWORD value = *stored;
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kTestSectionPath, "Help", REG_DWORD, &value,
                              sizeof(value));
        }
        CTipDialog dialog;
        RunDialog(dialog, [&](HWND hWnd) {
            CHelpTipWnd& tips = dialog.Tips();
            EXPECT_EQ(tips.IsOn() != FALSE, on);
            EXPECT_EQ(tips.GetSafeHwnd() != nullptr && ::GetParent(tips.GetSafeHwnd()) == hWnd, on);
            EXPECT_TRUE(tips.Toggle(hWnd));
            ::SendMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(ReadRegistryDword(kTestSectionPath, "Help"), on ? 0u : 1u);
        EXPECT_FALSE(dialog.Tips().IsOn());
    }
}

uint32_t Darker(uint32_t pixel, int depth) {
    uint32_t result = 0;
    for (int shift : {16, 8, 0}) {
        const int value = static_cast<int>((pixel >> shift) & 0xFF);
        result |= static_cast<uint32_t>(std::max(value - depth, 0)) << shift;
    }
    return result;
}

// The real pointer rests over Find...: the tip comes on its own timer, with
// the button's text and a shadow made of the dialog beneath it.
TEST_F(MainDialogTips, HoveringOverFindShowsItsTipWithAShadow) {
    CTipDialog dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        ::SetForegroundWindow(hWnd);
        const POINT point = CentreOf(::GetDlgItem(hWnd, IDC_FIND_MODULE));
        ASSERT_TRUE(StartHostProgram("/usr/bin/xdotool mousemove " + std::to_string(point.x) + " " +
                                     std::to_string(point.y)));
        ASSERT_TRUE(PumpUntil([&] {
            POINT now{};
            return ::GetCursorPos(&now) && now.x == point.x && now.y == point.y;
        }));
        // Starting a program may take the activation: the dialog takes it back.
        ::SetForegroundWindow(hWnd);
        std::unique_ptr<IHelpTipSystem> screen = CreateNativeHelpTipSystem();
        const RECT whole{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        std::vector<uint32_t> before, after;
        ASSERT_TRUE(screen->CaptureScreen(whole, before));
        PumpMessages(1500);

        ASSERT_TRUE(::IsWindowVisible(dialog.Tips().GetSafeHwnd()));
        EXPECT_STREQ(dialog.Tips().GetTipText(), "Find Windows module");
        const CRect rect = WindowRect(dialog.Tips().GetSafeHwnd());
        EXPECT_EQ(TopLeft(rect),
                  TopLeft(CRect(point.x, point.y + ::GetSystemMetrics(SM_CYCURSOR), 0, 0)));
        ASSERT_TRUE(screen->CaptureScreen(whole, after));
        auto at = [&](const std::vector<uint32_t>& pixels, int x, int y) {
            return pixels[static_cast<size_t>(y) * whole.right + x];
        };
        // Every pixel of the band: the screen as it was, darkened once.
        int compared = 0;
        for (int y = rect.top; y < rect.bottom; ++y) {
            for (int x = rect.left; x < rect.right; ++x) {
                const int depth =
                    HelpTipShadowDepth(x - rect.left, y - rect.top, rect.Width(), rect.Height());
                if (depth == 0) continue;
                ASSERT_EQ(at(after, x, y), Darker(at(before, x, y), depth)) << x << "," << y;
                ++compared;
            }
        }
        EXPECT_GT(compared, 2 * (rect.Width() + rect.Height()));
        // The text: pixels of the text colour inside the frame.
        const COLORREF ink = ::GetSysColor(COLOR_INFOTEXT);
        const uint32_t inkPixel = (GetRValue(ink) << 16) | (GetGValue(ink) << 8) | GetBValue(ink);
        int inked = 0;
        for (int y = rect.top + 4; y < rect.bottom - 9; ++y) {
            for (int x = rect.left + 4; x < rect.right - 9; ++x)
                inked += at(after, x, y) == inkPixel;
        }
        EXPECT_GT(inked, 50);
    });
}

}  // namespace
}  // namespace kivrel_test
