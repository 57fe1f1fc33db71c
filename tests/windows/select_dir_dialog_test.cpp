// The directory dialog on the platform's real file dialog, run in this
// process and driven by a script of steps that a thread timer runs inside
// the dialog's modal loop (and inside the message boxes it opens).
#include "select_dir_dialog.h"

#include <gtest/gtest.h>

#include <deque>
#include <regex>

#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

// A step runs at every tick until it returns true; then the next one starts.
using Step = std::function<bool()>;

struct Script {
    std::deque<Step> steps;
    int ticks = 0;       // of the current step
    bool stuck = false;  // a step or the dialog never finished: all was cancelled
};
Script g_script;

BOOL CALLBACK CancelPopup(HWND hWnd, LPARAM) {
    if (::IsWindowVisible(hWnd)) ::PostMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void CALLBACK RunScriptStep(HWND, UINT, UINT_PTR, DWORD) {
    // After the last step the dialog must close by itself; 10 s for each.
    if (++g_script.ticks > 200) {
        g_script.stuck = true;
        ::EnumThreadWindows(::GetCurrentThreadId(), &CancelPopup, 0);
        return;
    }
    if (g_script.steps.empty()) return;
    // Take the step out while it runs: it may enter a modal loop of its own.
    Step step = std::move(g_script.steps.front());
    g_script.steps.pop_front();
    if (step()) {
        g_script.ticks = 0;
    } else {
        g_script.steps.push_front(std::move(step));
    }
}

// Runs `show` (which opens a modal dialog) while the script's steps run.
void RunScript(std::vector<Step> steps, const std::function<void()>& show) {
    g_script = Script{{steps.begin(), steps.end()}};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &RunScriptStep);
    show();
    ::KillTimer(nullptr, timer);
    EXPECT_FALSE(g_script.stuck) << "stuck with " << g_script.steps.size() << " steps left";
    g_script = Script{};
}

HWND FrameOf(const CSelectDirDialog& dialog) {
    return dialog.m_hWnd != nullptr ? ::GetParent(dialog.m_hWnd) : nullptr;
}

// The platform's file-name field is the combo box cmb13, not edt1.
HWND NameField(HWND frame) { return ::GetDlgItem(frame, 1148); }

std::string ShownFolder(HWND frame) {
    char folder[MAX_PATH] = "";
    ::SendMessageA(frame, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    return folder;
}

BOOL CALLBACK FindOwnedPopup(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<std::pair<HWND, HWND>*>(lParam);
    if (!::IsWindowVisible(hWnd) || ::GetWindow(hWnd, GW_OWNER) != search->first) return TRUE;
    search->second = hWnd;
    return FALSE;
}

// A visible window of this thread owned by `owner` (a message box).
HWND OwnedPopup(HWND owner) {
    std::pair<HWND, HWND> search{owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindOwnedPopup, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

// Steps that wait for the dialog's frame, then act on it.
Step WhenShown(const CSelectDirDialog& dialog, std::function<void(HWND)> action) {
    return [&dialog, action] {
        const HWND frame = FrameOf(dialog);
        if (frame == nullptr || !::IsWindowVisible(frame)) return false;
        action(frame);
        return true;
    };
}

// Types into the name field and confirms, or presses "Properties...".
Step TypeAndConfirm(const CSelectDirDialog& dialog, const std::string& text, bool properties) {
    return WhenShown(dialog, [text, properties](HWND frame) {
        ::SendMessageA(NameField(frame), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        ::PostMessageA(frame, WM_COMMAND, properties ? MAKEWPARAM(1038, BN_CLICKED) : IDOK,
                       reinterpret_cast<LPARAM>(properties ? ::GetDlgItem(frame, 1038) : nullptr));
    });
}

// Waits for a message box of the frame, keeps its caption and text, closes it.
Step CloseMessageBox(const CSelectDirDialog& dialog, std::string* caption, std::string* text) {
    return [&dialog, caption, text] {
        const HWND box = OwnedPopup(FrameOf(dialog));
        if (box == nullptr) return false;
        *caption = WindowText(box);
        *text = WindowText(::GetDlgItem(box, 0xFFFF));
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        return true;
    };
}

// After `quiet` ticks without a message box, records whether the frame is
// still open and cancels it.
Step CancelWhenQuiet(const CSelectDirDialog& dialog, bool* stayedOpen, int quiet = 1) {
    return [&dialog, stayedOpen, quiet, ticks = 0]() mutable {
        const HWND frame = FrameOf(dialog);
        if (frame != nullptr && OwnedPopup(frame) != nullptr) return false;  // stuck if it stays
        if (++ticks < quiet) return false;
        *stayedOpen = frame != nullptr && ::IsWindowVisible(frame);
        if (frame != nullptr) ::PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
        return true;
    };
}

std::string CurrentDirectory() {
    char cwd[MAX_PATH] = "";
    ::GetCurrentDirectoryA(MAX_PATH, cwd);
    return cwd;
}

class SelectDirDialog : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = "";
        ::GetTempPathA(MAX_PATH, temp);
        m_base = std::string(temp) + "kivrel-dirdlg";
        for (const char* sub : {"", "\\dir", "\\dir\\sub", "\\other"})
            ::CreateDirectoryA((m_base + sub).c_str(), nullptr);
        ::CloseHandle(::CreateFileA((m_base + "\\dir\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr));
        m_savedCwd = CurrentDirectory();
        DeleteRegistryTree(
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU");
    }
    void TearDown() override {
        ::SetCurrentDirectoryA(m_savedCwd.c_str());
        ::DeleteFileA((m_base + "\\dir\\file.txt").c_str());
        for (const char* sub : {"\\dir\\sub", "\\dir", "\\other", ""})
            ::RemoveDirectoryA((m_base + sub).c_str());
    }

    std::string m_base, m_savedCwd;
};

// Also: the current directory is the same after the dialog as before it,
// whatever the dialog did, and even when it was never shown.
TEST_F(SelectDirDialog, ConfirmedTextGivesTheCheckedDirectory) {
    ::SetCurrentDirectoryA((m_base + "\\other").c_str());
    const std::string before = CurrentDirectory();
    { CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE); }
    EXPECT_EQ(CurrentDirectory(), before) << "never shown";
    const std::string longName = "C:\\" + std::string(256, 'a');  // 259 characters
    struct Case {
        std::string typed;
        std::string directory;  // "": "Invalid directory" shown, the dialog stayed open
        // Checked by "Properties..." rather than confirmed: the platform does
        // not hand texts longer than a path to the dialog.
        bool viaProperties = false;
    } const cases[] = {
        {m_base + "\\dir\\", m_base + "\\dir"},
        {"C:\\", "C:"},
        {"sub", m_base + "\\dir\\sub"},  // relative to the shown folder
        {m_base.substr(2) + "\\other", m_base + "\\other"},
        {m_base + "\\dir\\file.txt", m_base + "\\dir"},
        {m_base + "\\missing", ""},
        {longName, ""},  // no room for the pattern
        {longName + "\\", "", true},
        {longName + longName, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE);
        std::string caption, message;
        bool stayedOpen = false;
        std::vector<Step> steps = {TypeAndConfirm(dialog, c.typed, c.viaProperties)};
        if (c.directory.empty()) {
            steps.push_back(CloseMessageBox(dialog, &caption, &message));
            steps.push_back(CancelWhenQuiet(dialog, &stayedOpen));
        }
        INT_PTR result = -1;
        RunScript(steps, [&] { result = dialog.DoModal(); });
        EXPECT_EQ(result, c.directory.empty() ? IDCANCEL : IDOK);
        EXPECT_EQ(std::string(dialog.GetDirectory()), c.directory);
        EXPECT_EQ(CurrentDirectory(), before);
        if (c.directory.empty()) {
            EXPECT_EQ(message, "Invalid directory");
            EXPECT_EQ(caption, AfxGetAppName());
            EXPECT_TRUE(stayedOpen);
        }
    }
}

TEST_F(SelectDirDialog, StartsInTheInitialDirectoryAndFieldFollowsTheFolder) {
    // The platform remembers the folder of a plain open dialog's last choice.
    ::SetCurrentDirectoryA((m_base + "\\other").c_str());
    {
        CFileDialog plain(TRUE, nullptr, nullptr, OFN_NOVALIDATE);
        const std::string file = m_base + "\\other\\remembered.txt";
        RunScript({[&] {
                      const HWND frame = OwnedPopup(nullptr);
                      if (frame == nullptr) return false;
                      ::SendMessageA(NameField(frame), WM_SETTEXT, 0,
                                     reinterpret_cast<LPARAM>(file.c_str()));
                      return ::PostMessageA(frame, WM_COMMAND, IDOK, 0) != FALSE;
                  }},
                  [&] { plain.DoModal(); });
    }
    CSelectDirDialog dialog("Pick", nullptr, (m_base + "\\dir").c_str(), TRUE);
    std::vector<std::string> seen;  // title, folder, field, label, help; root field
    std::string computerFolder, computerField = "unchanged";
    const std::vector<Step> steps = {
        WhenShown(dialog,
                  [&](HWND frame) {
                      seen = {WindowText(frame), ShownFolder(frame), WindowText(NameField(frame)),
                              WindowText(::GetDlgItem(frame, 1090)),
                              WindowText(::GetDlgItem(frame, 1038))};
                      // Up to the drive's root, then once more, out of the file system.
                      for (int i = 0; i < 20 && ShownFolder(frame).size() > 3; ++i)
                          ::SendMessageA(frame, WM_COMMAND, 0xA001, 0);
                      seen.push_back(WindowText(NameField(frame)));
                      ::SendMessageA(frame, WM_COMMAND, 0xA001, 0);
                  }),
        WhenShown(dialog,
                  [&](HWND frame) {
                      computerFolder = ShownFolder(frame);
                      computerField = WindowText(NameField(frame));
                      ::PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
                  }),
    };
    RunScript(steps, [&] { EXPECT_EQ(dialog.DoModal(), IDCANCEL); });
    const std::string dir = m_base + "\\dir";
    EXPECT_EQ(seen,
              (std::vector<std::string>{"Pick", dir, dir, "Directory:", "Properties...", "C:\\"}));
    EXPECT_EQ(computerFolder.compare(0, 2, "::"), 0) << computerFolder;
    EXPECT_EQ(computerField, "");
}

// Mouse input at a screen point: every event carries its position, so none
// lands where an earlier pointer move had not yet arrived.
void SendMouse(POINT point, DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = point.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = point.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &input, sizeof(INPUT));
}

// A user's click on a button, through the platform's input queue: the pointer
// moves there, and once it is over the button the left button goes down and,
// at the next tick, up.
std::vector<Step> ClickSteps(const std::function<HWND()>& target) {
    return {[target] {
                const HWND button = target();
                if (button == nullptr || !::IsWindowVisible(button)) return false;
                SendMouse(CentreOf(button), 0);
                return true;
            },
            [target] {
                POINT cursor;
                ::GetCursorPos(&cursor);
                if (::WindowFromPoint(cursor) != target()) return false;
                SendMouse(CentreOf(target()), MOUSEEVENTF_LEFTDOWN);
                return true;
            },
            [target] {
                SendMouse(CentreOf(target()), MOUSEEVENTF_LEFTUP);
                return true;
            }};
}

TEST_F(SelectDirDialog, PropertiesClickReportsTheShownFolderVolumeOnce) {
    CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE);
    std::string caption, report;
    ULARGE_INTEGER freeBefore{}, total{}, freeAfter{};
    bool stayedOpen = false;
    std::vector<Step> steps = {WhenShown(
        dialog, [&](HWND) { ::GetDiskFreeSpaceExA("C:\\", nullptr, &total, &freeBefore); })};
    for (Step& step : ClickSteps([&] { return ::GetDlgItem(FrameOf(dialog), 1038); }))
        steps.push_back(std::move(step));
    steps.push_back(CloseMessageBox(dialog, &caption, &report));
    // One click, one report: a second box would keep the last step waiting.
    steps.push_back(CancelWhenQuiet(dialog, &stayedOpen, 10));
    RunScript(steps, [&] { dialog.DoModal(); });
    ::GetDiskFreeSpaceExA("C:\\", nullptr, nullptr, &freeAfter);

    EXPECT_EQ(caption, "(C:\\) properties");
    std::smatch numbers;
    ASSERT_TRUE(std::regex_search(
        report, numbers,
        std::regex("^(\\d+) MB capacity\n(\\d+) MB free  \\((\\d+)%\\)\n\nFile system = ")))
        << report;
    const uint64_t capacity = std::stoull(numbers[1]), free = std::stoull(numbers[2]);
    constexpr uint64_t kMB = 1048576;
    EXPECT_EQ(capacity, total.QuadPart / kMB) << report;
    // Other programs write to the disk meanwhile: the free figure lies
    // between the two readings, give or take 64 MB.
    EXPECT_GE(free + 64, std::min(freeBefore.QuadPart, freeAfter.QuadPart) / kMB) << report;
    EXPECT_LE(free, std::max(freeBefore.QuadPart, freeAfter.QuadPart) / kMB + 64) << report;
    EXPECT_EQ(std::stoull(numbers[3]), free * 100 / capacity) << report;
}

TEST_F(SelectDirDialog, FindInitialDirectoryFillsTheMainDialogField) {
    AfxGetApp()->m_strCmdLine.clear();
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        ::SetDlgItemTextA(dialog, IDC_INITIAL_DIR, (m_base + "\\dir").c_str());
        for (const auto& [typed, start] : {std::pair{"sub", "\\dir"}, {"", "\\dir\\sub"}}) {
            std::string title, startFolder;
            HWND owner = nullptr;
            RunScript({[&, typed = std::string(typed)] {
                          const HWND frame = OwnedPopup(dialog);
                          if (frame == nullptr) return false;
                          title = WindowText(frame);
                          startFolder = ShownFolder(frame);
                          owner = ::GetWindow(frame, GW_OWNER);
                          ::SendMessageA(NameField(frame), WM_SETTEXT, 0,
                                         reinterpret_cast<LPARAM>(typed.c_str()));
                          ::PostMessageA(frame, WM_COMMAND, typed.empty() ? IDCANCEL : IDOK, 0);
                          return true;
                      }},
                      [&] { ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_INITIAL_DIR, 0); });
            EXPECT_EQ(title, "Find Initial directory");
            EXPECT_EQ(startFolder, m_base + start);
            EXPECT_EQ(owner, dialog);
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_INITIAL_DIR)), m_base + "\\dir\\sub");
        }
    });
}

}  // namespace
}  // namespace kivrel_test
