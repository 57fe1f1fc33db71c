// The help tip window driven tick by tick against a fake pointer, screen and
// monitors: who is asked, when the tip appears and goes, its size and place,
// its shadow, bad answers and its state; then the main dialog's tips with the
// real system, and one hover with the real pointer under Xvfb.
#include <gtest/gtest.h>

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
constexpr uint32_t kScreen = 0x00C08040;  // what the fake screen shows everywhere

class FakeSystem : public IHelpTipSystem {
public:
    BOOL GetCursorPos(POINT* point) override {
        *point = cursor;
        return TRUE;
    }
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
        capturedWhileVisible = capturedWhileVisible || (tip != nullptr && ::IsWindowVisible(tip));
        pixels.assign(static_cast<size_t>(area.right - area.left) * (area.bottom - area.top),
                      kScreen);
        return TRUE;
    }

    POINT cursor{100, 100};
    HWND under = nullptr;
    HWND foreground = nullptr;
    std::vector<RECT> monitors{RECT{0, 0, 1024, 768}};
    BOOL mouse = TRUE;
    std::vector<RECT> captures;
    HWND tip = nullptr;
    bool capturedWhileVisible = false;
};

// A window that answers tip requests addressed to it and records them.
class CAnswerWnd : public CWnd {
public:
    std::string answer;
    std::vector<NMHELPTIP> requests;
    std::function<void(NMHELPTIP&)> onRequest;

protected:
    BOOL OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT*) override {
        if (message != WM_NOTIFY) return FALSE;
        NMHELPTIP& request = *reinterpret_cast<NMHELPTIP*>(lParam);
        if (request.hdr.code != HTN_NEEDTEXT) return FALSE;
        requests.push_back(request);
        if (onRequest) {
            onRequest(request);
        } else if (answer.size() < sizeof(request.szText)) {
            std::memcpy(request.szText, answer.c_str(), answer.size() + 1);
        }
        return TRUE;
    }
};

class CTestTip : public CHelpTipWnd {
public:
    using CHelpTipWnd::CHelpTipWnd;
    using CHelpTipWnd::m_nStillTicks;
};

HWND MakeWindow(const char* className, DWORD style, HWND parent, int id, const RECT& rect) {
    return ::CreateWindowExA(0, className, "", style | WS_VISIBLE, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleA(nullptr), nullptr);
}

class HelpTip : public testing::Test {
protected:
    void SetUp() override {
        owner = MakeWindow("STATIC", WS_POPUP, nullptr, 0, RECT{0, 0, 600, 400});
        child = MakeWindow("STATIC", WS_CHILD, owner, 41, RECT{10, 10, 200, 40});
        ASSERT_TRUE(answering.SubclassWindow(child));
        answering.answer = "Tip of the child";
        system.foreground = owner;
        system.under = child;
        tip = std::make_unique<CTestTip>(&system);
        ASSERT_TRUE(tip->Toggle(owner));
        system.tip = tip->GetSafeHwnd();
    }
    void TearDown() override {
        tip.reset();
        if (::IsWindow(owner)) ::DestroyWindow(owner);
    }

    // Ticks as the timer would; the busy mark never outlives a tick.
    void Tick(int count = 1) {
        for (int k = 0; k < count; ++k) {
            tip->OnTimer(kTick);
            ASSERT_TRUE(tip->CanToggle());
        }
    }
    // The pointer arrives, then rests until the tip shows.
    void RestUntilShown() { Tick(1 + 5); }
    bool Shown() const { return ::IsWindowVisible(tip->GetSafeHwnd()) != FALSE; }
    CRect TipRect() const { return WindowRect(tip->GetSafeHwnd()); }

    FakeSystem system;
    HWND owner = nullptr;
    HWND child = nullptr;
    CAnswerWnd answering;
    std::unique_ptr<CTestTip> tip;
};

TEST_F(HelpTip, AsksTheWindowThatAnswersForTheOneUnderThePointer) {
    HWND button = MakeWindow("BUTTON", WS_CHILD, owner, 1002, RECT{10, 50, 80, 70});
    HWND combo = MakeWindow("COMBOBOX", WS_CHILD | CBS_DROPDOWN, owner, 77, RECT{10, 80, 200, 200});
    HWND comboEdit = ::FindWindowExA(combo, nullptr, "Edit", nullptr);
    ASSERT_NE(comboEdit, nullptr);
    HWND first = MakeWindow("STATIC", WS_CHILD, owner, 51, RECT{300, 10, 350, 40});
    HWND second = MakeWindow("STATIC", WS_CHILD, owner, 52, RECT{300, 50, 350, 90});
    CAnswerWnd comboAnswer;
    ASSERT_TRUE(comboAnswer.SubclassWindow(combo));
    comboAnswer.answer = "Combo";
    tip->RedirectTool(button, child);
    // A chain: the first redirect's target is redirected again.
    tip->RedirectTool(first, second);
    tip->RedirectTool(second, child);

    struct Case {
        const char* name;
        HWND under;
        HWND asked;
        UINT_PTR id;
        const char* text;
    };
    const Case cases[] = {
        {"child answering itself", child, child, 41, "Tip of the child"},
        {"button redirected", button, child, 1002, "Tip of the child"},
        {"edit part of a combo box", comboEdit, combo, 77, "Combo"},
        {"two redirects in a row", first, child, 51, "Tip of the child"},
    };
    for (const Case& c : cases) {
        answering.requests.clear();
        comboAnswer.requests.clear();
        system.under = c.under;
        system.cursor.x += 3;
        RestUntilShown();
        CAnswerWnd& asked = c.asked == combo ? comboAnswer : answering;
        ASSERT_EQ(asked.requests.size(), 1u) << c.name;
        const NMHELPTIP& request = asked.requests.front();
        EXPECT_EQ(request.hdr.hwndFrom, c.asked) << c.name;
        EXPECT_EQ(request.hdr.idFrom, c.id) << c.name;
        EXPECT_EQ(request.x, system.cursor.x) << c.name;
        EXPECT_EQ(request.y, system.cursor.y + kCursorHeight) << c.name;
        EXPECT_EQ(request.dwFlags, 0u) << c.name;
        EXPECT_TRUE(Shown()) << c.name;
        EXPECT_STREQ(tip->GetTipText(), c.text) << c.name;
    }
    // The owner itself is no child: id 0.
    CAnswerWnd ownerAnswer;
    ASSERT_TRUE(ownerAnswer.SubclassWindow(owner));
    ownerAnswer.answer = "Owner";
    system.under = owner;
    system.cursor.x += 3;
    RestUntilShown();
    ASSERT_EQ(ownerAnswer.requests.size(), 1u);
    EXPECT_EQ(ownerAnswer.requests.front().hdr.idFrom, 0u);
}

TEST_F(HelpTip, NobodyIsAskedForAGoneTargetOrAWindowOfAnotherThread) {
    HWND button = MakeWindow("BUTTON", WS_CHILD, owner, 1002, RECT{10, 50, 80, 70});
    HWND target = MakeWindow("STATIC", WS_CHILD, owner, 9, RECT{300, 10, 350, 40});
    tip->RedirectTool(button, target);
    ::DestroyWindow(target);
    system.under = button;
    RestUntilShown();
    Tick(5);
    EXPECT_FALSE(Shown());

    // A window of another thread of this process.
    HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND foreign = nullptr;
    std::thread other([&] {
        foreign = MakeWindow("STATIC", WS_POPUP, nullptr, 0, RECT{20, 20, 60, 60});
        ::SetEvent(ready);
        ::WaitForSingleObject(done, 10000);
        ::DestroyWindow(foreign);
    });
    ::WaitForSingleObject(ready, 10000);
    system.under = foreign;
    RestUntilShown();
    Tick(5);
    EXPECT_FALSE(Shown());
    ::SetEvent(done);
    other.join();
    ::CloseHandle(ready);
    ::CloseHandle(done);
    EXPECT_TRUE(answering.requests.empty());
}

TEST_F(HelpTip, AppearsOnTheFifthStillTickAndGoesWhenThePointerOrTheApplicationChanges) {
    enum Step { kTick, kMove, kOtherApp, kDisableOwner, kActivateApp, kAnswerCase };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool shown;
    };
    const Case cases[] = {
        {"pointer arrives", {kTick}, false},
        {"four still ticks", {kTick, kTick, kTick, kTick, kTick}, false},
        {"fifth still tick", {kTick, kTick, kTick, kTick, kTick, kTick}, true},
        {"moved after showing", {kTick, kTick, kTick, kTick, kTick, kTick, kMove, kTick}, false},
        {"rest again after a move",
         {kTick, kTick, kTick, kTick, kTick, kTick, kMove, kTick, kTick, kTick, kTick, kTick,
          kTick},
         true},
        {"another application in front",
         {kOtherApp, kTick, kTick, kTick, kTick, kTick, kTick},
         false},
        {"owner disabled", {kDisableOwner, kTick, kTick, kTick, kTick, kTick, kTick}, false},
        {"activation hides", {kTick, kTick, kTick, kTick, kTick, kTick, kActivateApp}, false},
        {"rest restarts after activation",
         {kTick, kTick, kTick, kTick, kTick, kTick, kActivateApp, kTick, kTick, kTick, kTick,
          kTick},
         false},
        {"same answer in other letters stays",
         {kTick, kTick, kTick, kTick, kTick, kTick, kAnswerCase, kTick, kTick, kTick, kTick, kTick},
         true},
    };
    for (const Case& c : cases) {
        // A fresh start for each case: a new position (the first tick sees the
        // pointer arrive), everything enabled.
        system.cursor = POINT{system.cursor.x + 7, 100};
        system.foreground = owner;
        ::EnableWindow(owner, TRUE);
        answering.answer = "Tip of the child";
        for (Step step : c.steps) {
            switch (step) {
                case kTick:
                    Tick();
                    break;
                case kMove:
                    system.cursor.y += 1;
                    break;
                case kOtherApp:
                    system.foreground = nullptr;
                    break;
                case kDisableOwner:
                    ::EnableWindow(owner, FALSE);
                    break;
                case kActivateApp:
                    ::SendMessageA(tip->GetSafeHwnd(), WM_ACTIVATEAPP, FALSE, 0);
                    break;
                case kAnswerCase:
                    answering.answer = "TIP OF THE CHILD";
                    break;
            }
        }
        EXPECT_EQ(Shown(), c.shown) << c.name;
    }
}

TEST_F(HelpTip, ANewAnswerReplacesTheShownTipAtOnce) {
    RestUntilShown();
    const CRect before = TipRect();
    answering.answer = "A much longer tip than the first one";
    Tick(5);
    EXPECT_TRUE(Shown());
    EXPECT_STREQ(tip->GetTipText(), "A much longer tip than the first one");
    EXPECT_GT(TipRect().Width(), before.Width());
}

TEST_F(HelpTip, IsAsHighAsItsLinesAndAsWideAsItsWidestLine) {
    auto sizeOf = [&](const char* text) {
        answering.answer = text;
        system.cursor.x += 5;
        RestUntilShown();
        EXPECT_TRUE(Shown()) << text;
        return TipRect();
    };
    // 11: the frame's margins and the shadow.
    const CRect one = sizeOf("Wide line");
    const int lineHeight = one.Height() - 11;
    ASSERT_GT(lineHeight, 0);
    struct Case {
        const char* text;
        int lines;
    };
    const Case cases[] = {{"Wide line\nb\nc\n", 4}, {"a\nWide line\nb", 3}, {"Wide line\n\n", 3}};
    for (const Case& c : cases) {
        const CRect rect = sizeOf(c.text);
        EXPECT_EQ(rect.Height(), c.lines * lineHeight + 11) << c.text;
        EXPECT_EQ(rect.Width(), one.Width()) << c.text;
    }
}

TEST_F(HelpTip, StaysInsideTheWorkAreaOfThePointersMonitor) {
    // Measure the tip once, away from every edge.
    system.cursor = POINT{100, 100};
    RestUntilShown();
    const int width = TipRect().Width();
    const int height = TipRect().Height();

    const RECT primary{0, 0, 1024, 740};   // a task bar below
    const RECT right{1024, 0, 2048, 768};  // a second monitor on the right
    const RECT left{-1280, -200, 0, 824};  // and one on the left, higher
    system.monitors = {primary, right, left};
    struct Case {
        const char* name;
        POINT cursor;
        int left;
        int top;
    };
    const Case cases[] = {
        {"middle", {400, 300}, 400, 300 + kCursorHeight},
        {"right edge", {1020, 300}, 1024 - width, 300 + kCursorHeight},
        {"above the task bar", {400, 735}, 400, 735 - height - 2},
        {"second monitor, inside", {1500, 300}, 1500, 300 + kCursorHeight},
        {"second monitor, right edge", {2040, 300}, 2048 - width, 300 + kCursorHeight},
        {"second monitor, bottom", {1500, 760}, 1500, 760 - height - 2},
        {"left monitor, its bottom", {-600, 820}, -600, 820 - height - 2},
        {"left monitor, its right edge", {-3, 10}, -width, 10 + kCursorHeight},
    };
    for (const Case& c : cases) {
        // The owner lies under the pointer wherever it is.
        ::SetWindowPos(owner, nullptr, c.cursor.x - 50, c.cursor.y - 50, 100, 100,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        system.cursor = c.cursor;
        RestUntilShown();
        ASSERT_TRUE(Shown()) << c.name;
        EXPECT_EQ(TipRect().left, c.left) << c.name;
        EXPECT_EQ(TipRect().top, c.top) << c.name;
    }
}

TEST_F(HelpTip, ShadowIsWhatLayBeneathDarkened) {
    RestUntilShown();
    ASSERT_TRUE(Shown());
    const CRect rect = TipRect();
    ASSERT_EQ(system.captures.size(), 1u);
    EXPECT_EQ(CRect(system.captures.front()), rect);
    EXPECT_FALSE(system.capturedWhileVisible);

    // The band as painted: the fake screen's colour less the depth.
    ::RedrawWindow(tip->GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = ::GetDC(tip->GetSafeHwnd());
    const int w = rect.Width();
    const int h = rect.Height();
    struct Case {
        int x;
        int y;
        int depth;
    };
    const Case cases[] = {
        {w - 5, h / 2, 80}, {w - 1, h / 2, 16}, {w / 2, h - 5, 80}, {w / 2, h - 1, 16},
        {w - 5, 0, 0},      {w - 5, 4, 64},     {0, h - 1, 0},      {4, h - 5, 64},
        {w - 5, h - 5, 64}, {w - 1, h - 1, 0},  {w - 2, h - 4, 32},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HelpTipShadowDepth(c.x, c.y, w, h), c.depth) << c.x << "," << c.y;
        const COLORREF pixel = ::GetPixel(dc, c.x, c.y);
        EXPECT_EQ(pixel, RGB(0xC0 - c.depth, 0x80 - c.depth, std::max(0x40 - c.depth, 0)))
            << c.x << "," << c.y;
    }
    ::ReleaseDC(tip->GetSafeHwnd(), dc);
}

TEST_F(HelpTip, BadAnswersShowNothingWrongAndOverrunNothing) {
    // A whole buffer without a terminating zero.
    answering.onRequest = [](NMHELPTIP& request) {
        std::memset(request.szText, 'x', sizeof(request.szText));
    };
    RestUntilShown();
    EXPECT_TRUE(Shown());
    EXPECT_EQ(std::strlen(tip->GetTipText()), sizeof(NMHELPTIP::szText) - 1);

    // Line breaks only, and nothing at all.
    for (const char* answer : {"\n\n\n", ""}) {
        answering.onRequest = nullptr;
        answering.answer = answer;
        system.cursor.x += 5;
        RestUntilShown();
        EXPECT_FALSE(Shown()) << answer;
    }
}

TEST_F(HelpTip, ReadsTheAnsweringWindowsMovedPositionBack) {
    answering.onRequest = [](NMHELPTIP& request) {
        request.x += 40;
        request.y += 30;
        std::strcpy(request.szText, "Moved");
    };
    system.cursor = POINT{200, 200};
    RestUntilShown();
    EXPECT_EQ(TipRect().left, 240);
    EXPECT_EQ(TipRect().top, 200 + kCursorHeight + 30);
}

TEST_F(HelpTip, ItsStateIsClearedWhenItsWindowGoesAndWhileItIsBusy) {
    // Inside the request: busy, so nothing switches or ticks in between.
    UINT ticksInside = 0;
    answering.onRequest = [&](NMHELPTIP& request) {
        EXPECT_FALSE(tip->CanToggle());
        EXPECT_FALSE(tip->Toggle(owner));
        ticksInside = tip->m_nStillTicks;
        tip->OnTimer(kTick);
        EXPECT_EQ(tip->m_nStillTicks, ticksInside);
        std::strcpy(request.szText, "Busy");
    };
    RestUntilShown();
    EXPECT_TRUE(Shown());
    EXPECT_TRUE(tip->IsOn());
    EXPECT_TRUE(tip->CanToggle());

    // The owner takes the tip window with it: the tips are off, not stuck on.
    ::DestroyWindow(owner);
    EXPECT_FALSE(tip->IsOn());
    EXPECT_EQ(tip->GetSafeHwnd(), nullptr);
    EXPECT_TRUE(tip->CanToggle());
    owner = MakeWindow("STATIC", WS_POPUP, nullptr, 0, RECT{0, 0, 600, 400});
    EXPECT_TRUE(tip->Toggle(owner));
    EXPECT_TRUE(tip->IsOn());
    EXPECT_EQ(::GetParent(tip->GetSafeHwnd()), owner);
    EXPECT_TRUE(tip->Toggle(owner));
    EXPECT_FALSE(tip->IsOn());
}

TEST(HelpTipWithoutMouse, CannotBeSwitchedOn) {
    FakeSystem system;
    system.mouse = FALSE;
    HWND owner = MakeWindow("STATIC", WS_POPUP, nullptr, 0, RECT{0, 0, 100, 100});
    CHelpTipWnd tip(&system);
    EXPECT_FALSE(tip.CanToggle());
    EXPECT_FALSE(tip.Toggle(owner));
    EXPECT_FALSE(tip.IsOn());
    EXPECT_EQ(tip.GetSafeHwnd(), nullptr);
    ::DestroyWindow(owner);
}

// The main dialog with its tip window in reach of the tests.
class CTipDialog : public CKivrelDlg {
public:
    CHelpTipWnd& Tips() { return m_helpTips; }
};

class MainDialogTips : public testing::Test {
protected:
    void SetUp() override {
        AfxGetApp()->m_strCmdLine.clear();
        DeleteRegistryTree(kTestSectionPath);
    }
};

void WriteRegistryDword(const char* path, const char* value, DWORD data) {
    ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, path, value, REG_DWORD, &data, sizeof(data)),
              ERROR_SUCCESS);
}

POINT CentreOf(HWND control) {
    const CRect rect = WindowRect(control);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

TEST_F(MainDialogTips, ControlsAnswerWithTheirStringsThroughTheTipWindow) {
    CTipDialog dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        CHelpTipWnd& tips = dialog.Tips();
        ASSERT_TRUE(tips.IsOn());
        struct Case {
            int control;
            UINT text;
        };
        const Case cases[] = {
            {IDC_FIND_MODULE, IDS_TIP_FIND_MODULE},
            {IDC_FIND_INITIAL_DIR, IDS_TIP_FIND_INITIAL_DIR},
            {IDOK, IDS_TIP_SCAN},
            {IDCANCEL, IDS_TIP_EXIT},
            {IDC_RESULTS, IDS_TIP_RESULTS},
        };
        for (const Case& c : cases) {
            const POINT point = CentreOf(::GetDlgItem(hWnd, c.control));
            ::SetCursorPos(point.x, point.y);
            // Wine moves the pointer once it handles its own messages.
            POINT now{};
            for (int wait = 0; wait < 100 && (now.x != point.x || now.y != point.y); ++wait) {
                PumpMessages(5);
                ::GetCursorPos(&now);
            }
            // The last tip may lie over this control: deactivation hides it.
            ::SendMessageA(tips.GetSafeHwnd(), WM_ACTIVATEAPP, FALSE, 0);
            for (int tick = 0; tick < 6; ++tick) tips.OnTimer(kTick);
            EXPECT_TRUE(::IsWindowVisible(tips.GetSafeHwnd())) << c.control;
            EXPECT_EQ(tips.GetTipText(), LoadResString(c.text)) << c.control;
        }
        ::SetCursorPos(0, 0);
    });
}

TEST_F(MainDialogTips, AnswersWriteTheTextFieldAndNothingElse) {
    CTipDialog dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        struct Case {
            HWND asked;
            UINT_PTR id;
            UINT text;
        };
        const HWND results = ::GetDlgItem(hWnd, IDC_RESULTS);
        const Case cases[] = {
            {hWnd, IDOK, IDS_TIP_SCAN},
            {hWnd, IDC_FIND_INITIAL_DIR, IDS_TIP_FIND_INITIAL_DIR},
            {results, IDC_RESULTS, IDS_TIP_RESULTS},
        };
        for (const Case& c : cases) {
            NMHELPTIP request{};
            request.hdr = NMHDR{c.asked, c.id, HTN_NEEDTEXT};
            request.x = -123456;
            request.y = 654321;
            request.dwFlags = 0xA5A5A5A5u;
            ::SendMessageA(c.asked, WM_NOTIFY, c.id, reinterpret_cast<LPARAM>(&request));
            EXPECT_EQ(request.szText, LoadResString(c.text)) << c.id;
            EXPECT_EQ(request.hdr.hwndFrom, c.asked) << c.id;
            EXPECT_EQ(request.hdr.idFrom, c.id) << c.id;
            EXPECT_EQ(request.hdr.code, static_cast<UINT>(HTN_NEEDTEXT)) << c.id;
            EXPECT_EQ(request.x, -123456) << c.id;
            EXPECT_EQ(request.y, 654321) << c.id;
            EXPECT_EQ(request.dwFlags, 0xA5A5A5A5u) << c.id;
        }
    });
}

TEST_F(MainDialogTips, HelpSettingSwitchesTheTipsAndExitWritesItBack) {
    struct Case {
        std::optional<DWORD> stored;
        bool on;
    };
    const Case cases[] = {{std::nullopt, true}, {1, true}, {0, false}};
    for (const Case& c : cases) {
        DeleteRegistryTree(kTestSectionPath);
        if (c.stored) WriteRegistryDword(kTestSectionPath, "Help", *c.stored);
        CTipDialog dialog;
        RunDialog(dialog, [&](HWND hWnd) {
            CHelpTipWnd& tips = dialog.Tips();
            EXPECT_EQ(tips.IsOn() != FALSE, c.on);
            EXPECT_EQ(tips.GetSafeHwnd() != nullptr && ::GetParent(tips.GetSafeHwnd()) == hWnd,
                      c.on);
            EXPECT_TRUE(tips.Toggle(hWnd));
            ::SendMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(ReadRegistryDword(kTestSectionPath, "Help"), c.on ? 0u : 1u);
        EXPECT_EQ(dialog.Tips().GetSafeHwnd(), nullptr);
        EXPECT_FALSE(dialog.Tips().IsOn());
    }
}

// Starts a program of the host system (Wine runs Unix paths as they are).
// Wine gives no handle to wait on: callers wait for the program's effect.
bool StartHost(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return false;
    }
    if (process.hThread != nullptr) ::CloseHandle(process.hThread);
    if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
    return true;
}

// Pumps messages until `done` holds or about five seconds have passed.
bool PumpUntil(const std::function<bool()>& done) {
    for (int wait = 0; wait < 500; ++wait) {
        if (done()) return true;
        PumpMessages(10);
    }
    return done();
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
        const POINT point = CentreOf(::GetDlgItem(hWnd, IDC_FIND_MODULE));
        ASSERT_TRUE(StartHost("/usr/bin/xdotool mousemove " + std::to_string(point.x) + " " +
                              std::to_string(point.y)));
        ASSERT_TRUE(PumpUntil([&] {
            POINT now{};
            return ::GetCursorPos(&now) && now.x == point.x && now.y == point.y;
        }));
        std::unique_ptr<IHelpTipSystem> screen = CreateNativeHelpTipSystem();
        const RECT whole{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        std::vector<uint32_t> before;
        ASSERT_TRUE(screen->CaptureScreen(whole, before));
        PumpMessages(1500);

        HWND tip = dialog.Tips().GetSafeHwnd();
        ASSERT_TRUE(::IsWindowVisible(tip));
        EXPECT_STREQ(dialog.Tips().GetTipText(), "Find Windows module");
        const CRect rect = WindowRect(tip);
        EXPECT_EQ(rect.left, point.x);
        EXPECT_EQ(rect.top, point.y + ::GetSystemMetrics(SM_CYCURSOR));
        // A screenshot for the eye, beside the test binary.
        const std::string shot = KIVREL_SHOT_DIR "/help-tip.png";
        ::DeleteFileA(("Z:" + shot).c_str());
        ASSERT_TRUE(StartHost("/usr/bin/import -window root " + shot));
        EXPECT_TRUE(PumpUntil([&] {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            return ::GetFileAttributesExA(("Z:" + shot).c_str(), GetFileExInfoStandard, &data) &&
                   data.nFileSizeLow > 1000;
        }));

        std::vector<uint32_t> after;
        ASSERT_TRUE(screen->CaptureScreen(whole, after));
        const int stride = whole.right;
        auto at = [&](const std::vector<uint32_t>& pixels, int x, int y) {
            return pixels[static_cast<size_t>(y) * stride + x];
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
        ::SetCursorPos(0, 0);
    });
}

}  // namespace
}  // namespace kivrel_test
