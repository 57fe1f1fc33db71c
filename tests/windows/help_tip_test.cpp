// The help tip window ticked by hand against a fake pointer, screen and
// monitors; then the main dialog's tips with the real system and pointer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
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

uint32_t Darker(uint32_t pixel, int depth) {
    uint32_t result = 0;
    for (int shift : {16, 8, 0})
        result |= uint32_t(std::max(int((pixel >> shift) & 0xFF) - depth, 0)) << shift;
    return result;
}

class FakeSystem : public IHelpTipSystem {
public:
    BOOL GetCursorPos(POINT* point) override { return *point = cursor, TRUE; }
    HWND WindowFromPoint(POINT) override { return under; }
    HWND GetForegroundWindow() override { return foreground; }
    BOOL GetWorkArea(POINT point, RECT* area) override {
        *area = monitors.front();
        for (const RECT& monitor : monitors)
            if (::PtInRect(&monitor, point)) *area = monitor;
        return TRUE;
    }
    int GetCursorHeight() override { return kCursorHeight; }
    BOOL IsMousePresent() override { return TRUE; }
    BOOL CaptureScreen(const RECT& area, std::vector<uint32_t>& pixels) override {
        pixels.assign(size_t(area.right - area.left) * (area.bottom - area.top), 0x00C08040);
        return TRUE;
    }

    POINT cursor{100, 100};
    HWND under = nullptr, foreground = nullptr;
    std::vector<RECT> monitors{RECT{0, 0, 1024, 768}};
};

// Answers the tip requests addressed to it with `answer`, or as `onRequest` does.
class CAnswerWnd : public CWnd {
public:
    std::string answer = "Tip of the child";
    std::function<void(NMHELPTIP&)> onRequest = [this](NMHELPTIP& request) {
        ::lstrcpynA(request.szText, answer.c_str(), sizeof(request.szText));
    };

protected:
    BOOL OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT*) override {
        NMHELPTIP& request = *reinterpret_cast<NMHELPTIP*>(lParam);
        if (message != WM_NOTIFY || request.hdr.code != HTN_NEEDTEXT) return FALSE;
        return onRequest(request), TRUE;
    }
};

class HelpTip : public testing::Test {
protected:
    void SetUp() override {
        owner = TestWindow("STATIC", WS_POPUP, {0, 0, 600, 400});
        child = TestWindow("STATIC", WS_CHILD, {10, 10, 200, 40}, owner, 41);
        ASSERT_TRUE(answering.SubclassWindow(child));
        system.foreground = owner;
        system.under = child;
        ASSERT_TRUE(tip.Toggle(owner));
    }
    void TearDown() override {
        tip.DestroyWindow();
        ::DestroyWindow(owner);
    }
    void Tick(int count = 1) {  // as the timer would
        for (int k = 0; k < count; ++k) tip.OnTimer(kTick);
    }
    // The pointer arrives at `point` and rests until the tip shows.
    void RestAt(POINT point) {
        system.cursor = point;
        Tick(1 + 5);
    }
    bool Shown() const { return ::IsWindowVisible(tip.GetSafeHwnd()) != FALSE; }
    CRect TipRect() const { return WindowRect(tip.GetSafeHwnd()); }

    FakeSystem system;
    HWND owner = nullptr, child = nullptr;
    CAnswerWnd answering;
    CHelpTipWnd tip{&system};
};

TEST_F(HelpTip, AppearsOnTheFifthStillTickAndGoesWhenThePointerOrTheApplicationChanges) {
    // t: tick (the first sees the pointer arrive), m: pointer moved, o: another
    // application in front, d: owner disabled, a: application deactivated,
    // c: the same answer in capitals, n: a new answer.
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"ttttt", nullptr}, {"tttttt", "Tip of the child"}, {"ttttttmt", nullptr},
        {"ttttttmtttttt", "Tip of the child"}, {"otttttt", nullptr}, {"dtttttt", nullptr},
        {"ttttttattttt", nullptr}, {"ttttttcttttt", "Tip of the child"},
        {"ttttttnttttt", "Another, longer tip"}};
    // clang-format on
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
        EXPECT_STREQ(shown != nullptr ? tip.GetTipText() : nullptr, shown) << steps;
    }
}

TEST_F(HelpTip, StaysInsideTheWorkAreaOfThePointersMonitor) {
    RestAt(POINT{100, 100});
    const int w = TipRect().Width(), h = TipRect().Height(), below = kCursorHeight;
    // A task bar below the primary monitor, a second one on its right, a
    // third on its left and higher.
    system.monitors = {{0, 0, 1024, 740}, {1024, 0, 2048, 768}, {-1280, -200, 0, 824}};
    // clang-format off
    const struct { POINT cursor; int left, top; } cases[] = {
        {{400, 735}, 400, 735 - h - 2}, {{1500, 300}, 1500, 300 + below},
        {{2040, 300}, 2048 - w, 300 + below}, {{-3, 10}, -w, 10 + below}};
    // clang-format on
    for (const auto& [cursor, left, top] : cases) {
        // The owner lies under the pointer.
        ::SetWindowPos(owner, nullptr, cursor.x - 50, cursor.y - 50, 100, 100,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        RestAt(cursor);
        ASSERT_TRUE(Shown()) << cursor.x << "," << cursor.y;
        EXPECT_EQ(TopLeft(TipRect()), std::make_pair(LONG(left), LONG(top))) << cursor.x;
    }
    // A full answer without its end is cut, not read past.
    answering.onRequest = [](NMHELPTIP& request) {
        std::memset(request.szText, 'x', sizeof(request.szText));
    };
    RestAt(POINT{0, 10});
    EXPECT_EQ(std::strlen(tip.GetTipText()), sizeof(NMHELPTIP::szText) - 1);
    // An answer as long as the buffer is not copied.
    NMHELPTIP request{};
    EXPECT_FALSE(AnswerHelpTip(&request, 40000));  // 512 characters: no room for the end
    EXPECT_EQ(request.szText[0], '\0');
}

// Inside a request the tip is busy: nothing switches or ticks in between.
// The owner takes the tip window with it: the tips are off, not stuck on.
TEST_F(HelpTip, ItsStateIsClearedWhenItsWindowGoesAndWhileItIsBusy) {
    int requests = 0;
    answering.onRequest = [&](NMHELPTIP& request) {
        EXPECT_FALSE(tip.CanToggle() || tip.Toggle(owner));
        if (++requests == 1) Tick(6);  // would ask again if not busy
        ::lstrcpyA(request.szText, "Busy");
    };
    RestAt(POINT{100, 100});
    EXPECT_TRUE(Shown() && tip.CanToggle() && requests == 1) << requests;
    ::DestroyWindow(owner);
    EXPECT_FALSE(tip.IsOn());
    owner = TestWindow("STATIC", WS_POPUP, {0, 0, 600, 400});
    EXPECT_TRUE(tip.Toggle(owner) && tip.IsOn());
}

class MainDialogTips : public DialogTest {
protected:
    void TearDown() override { ::SetCursorPos(0, 0); }  // no tip over later tests
};

TEST_F(MainDialogTips, ControlsAnswerWithTheirStringsAndTheirTipsShowWithAShadowOnHovering) {
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        // clang-format off
        const struct { int control; UINT text; bool askedIsDialog; } cases[] = {
            {IDC_FIND_MODULE, IDS_TIP_FIND_MODULE, true}, {IDOK, IDS_TIP_SCAN, true},
            {IDC_FIND_INITIAL_DIR, IDS_TIP_FIND_INITIAL_DIR, true}, {IDCANCEL, IDS_TIP_EXIT, true},
            {IDC_RESULTS, IDS_TIP_RESULTS, false}, {IDC_MODULE, IDS_TIP_MODULE, false},
            {IDC_INITIAL_DIR, IDS_TIP_INITIAL_DIR, false}};
        // clang-format on
        for (const auto& [control, text, askedIsDialog] : cases) {
            // The buttons' requests go to the dialog.
            const HWND asked = askedIsDialog ? hWnd : ::GetDlgItem(hWnd, control);
            const UINT_PTR id = static_cast<UINT_PTR>(control);
            // The answer writes the text and leaves every other field as it was.
            NMHELPTIP request{{asked, id, HTN_NEEDTEXT}, -123456, 654321, 0xA5A5A5A5u, ""};
            const NMHELPTIP sent = request;
            ::SendMessageA(asked, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&request));
            EXPECT_EQ(request.szText, LoadResString(AfxGetResourceHandle(), text)) << control;
            std::memcpy(request.szText, sent.szText, sizeof(request.szText));
            EXPECT_EQ(std::memcmp(&request, &sent, sizeof(sent)), 0) << control;
        }
        // A request from another thread, as from another process, is not
        // read: its pointer is no address of ours.
        std::atomic<LRESULT> answered{-1};
        std::thread other([&] { answered = ::SendMessageA(hWnd, WM_NOTIFY, IDOK, 0x10); });
        PumpUntil([&] { return answered != -1; });
        other.join();
        EXPECT_EQ(answered, 0);

        // The real pointer rests over Find...: the tip comes on its own timer,
        // with the button's text and a shadow made of the dialog beneath it.
        // Then it rests on "Loader rules" in the options menu, which drops
        // below the dialog.
        ::SetForegroundWindow(hWnd);
        const POINT point = CentreOf(::GetDlgItem(hWnd, IDC_FIND_MODULE));
        ASSERT_TRUE(MovePointer(point));
        ::SetForegroundWindow(hWnd);  // starting a program may take the activation
        const RECT whole{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        std::vector<uint32_t> before, after;
        ASSERT_TRUE(CreateNativeHelpTipSystem()->CaptureScreen(whole, before));
        const HWND tip = dialog.m_helpTips.GetSafeHwnd();
        ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(tip) != FALSE; }));
        ::UpdateWindow(tip);  // painted before the screen is read
        EXPECT_STREQ(dialog.m_helpTips.GetTipText(), "Find Windows module");
        const CRect rect = WindowRect(tip);
        EXPECT_EQ(TopLeft(rect),
                  std::make_pair(point.x, point.y + ::GetSystemMetrics(SM_CYCURSOR)));
        ASSERT_TRUE(CreateNativeHelpTipSystem()->CaptureScreen(whole, after));
        const auto at = [&](const std::vector<uint32_t>& pixels, int x, int y) {
            return pixels[size_t(y) * whole.right + x];
        };
        // Every pixel of the band is the screen as it was, darkened once.
        int shaded = 0;
        for (int y = rect.top; y < rect.bottom; ++y) {
            for (int x = rect.left; x < rect.right; ++x) {
                const int depth =
                    HelpTipShadowDepth(x - rect.left, y - rect.top, rect.Width(), rect.Height());
                if (depth != 0) {
                    ASSERT_EQ(at(after, x, y), Darker(at(before, x, y), depth)) << x << "," << y;
                    ++shaded;
                }
            }
        }
        EXPECT_GT(shaded, 2 * (rect.Width() + rect.Height()));

        bool beyond = false;
        // Rests until the tip changes, or about three seconds; then closes the menu.
        const Step rest = [&, ticks = 0]() mutable {
            const HWND menu = ::FindWindowA("#32768", nullptr);
            HMENU hMenu = reinterpret_cast<HMENU>(::SendMessageA(menu, MN_GETHMENU, 0, 0));
            RECT item{};
            if (!::IsWindowVisible(menu) || !::GetMenuItemRect(menu, hMenu, 4, &item)) return false;
            const POINT on = CentreOf(item);
            ::SetCursorPos(on.x, on.y);
            const CRect dialogRect = WindowRect(hWnd);
            beyond = !::PtInRect(&dialogRect, on);
            const bool changed =
                ::IsWindowVisible(tip) &&
                std::string(dialog.m_helpTips.GetTipText()) != "Find Windows module";
            return (changed || ++ticks == 60) && (::EndMenu(), true);
        };
        EXPECT_TRUE(RunSteps(
            {rest}, [&] { ::SendDlgItemMessageA(hWnd, IDC_OPTIONS, WM_KEYDOWN, VK_SPACE, 0); }));
        EXPECT_EQ(dialog.m_helpTips.GetTipText(),
                  LoadResString(AfxGetResourceHandle(), IDS_TIP_LOADER));
        EXPECT_TRUE(beyond) << "the item lies outside the dialog";
    });
}

}  // namespace
}  // namespace kivrel_test
