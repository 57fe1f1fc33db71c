// The directory dialog on the platform's real file dialog, run in this
// process and driven by a script of steps that a thread timer runs inside
// the dialog's modal loop (and inside the message boxes it opens).
#include "select_dir_dialog.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>

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
    UINT_PTR timer = 0;
    int ticks = 0;         // of the current step
    bool stuck = false;    // a step or the dialog never finished: all was cancelled
    size_t stepsLeft = 0;  // when it got stuck
};
Script g_script;

constexpr int kTickMs = 50;
constexpr int kStepTicks = 200;  // 10 s for one step

BOOL CALLBACK CancelPopup(HWND hWnd, LPARAM) {
    if (::IsWindowVisible(hWnd)) ::PostMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void CALLBACK RunScriptStep(HWND, UINT, UINT_PTR, DWORD) {
    // After the last step the dialog must close by itself.
    if (++g_script.ticks > kStepTicks) {
        // Close whatever is open so that the test ends and reports it.
        g_script.stuck = true;
        g_script.stepsLeft = g_script.steps.size();
        g_script.steps.clear();
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
    g_script = Script{};
    g_script.steps.assign(steps.begin(), steps.end());
    g_script.timer = ::SetTimer(nullptr, 0, kTickMs, &RunScriptStep);
    show();
    ::KillTimer(nullptr, g_script.timer);
    EXPECT_FALSE(g_script.stuck) << "stuck with " << g_script.stepsLeft << " of " << steps.size()
                                 << " steps left";
    EXPECT_TRUE(g_script.steps.empty()) << g_script.steps.size() << " steps left";
    g_script = Script{};
}

HWND FrameOf(const CSelectDirDialog& dialog) {
    return dialog.m_hWnd != nullptr ? ::GetParent(dialog.m_hWnd) : nullptr;
}

HWND NameField(HWND frame) {
    const HWND combo = ::GetDlgItem(frame, 1148);
    return combo != nullptr ? combo : ::GetDlgItem(frame, 1152);
}

std::string ShownFolder(HWND frame) {
    char folder[MAX_PATH] = "";
    ::SendMessageA(frame, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    return folder;
}

struct PopupSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedPopup(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<PopupSearch*>(lParam);
    if (::IsWindowVisible(hWnd) && ::GetWindow(hWnd, GW_OWNER) == search->owner) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

// A visible window of this thread owned by `owner` (a message box).
HWND OwnedPopup(HWND owner) {
    PopupSearch search{owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindOwnedPopup, reinterpret_cast<LPARAM>(&search));
    return search.found;
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
Step TypeAndConfirm(const CSelectDirDialog& dialog, const std::string& text,
                    bool pressProperties = false) {
    return WhenShown(dialog, [text, pressProperties](HWND frame) {
        ::SendMessageA(NameField(frame), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (pressProperties) {
            ::PostMessageA(frame, WM_COMMAND, MAKEWPARAM(1038, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(frame, 1038)));
        } else {
            ::PostMessageA(frame, WM_COMMAND, IDOK, 0);
        }
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

// Waits until the frame has no message box, then records whether the frame
// is still open and cancels it.
Step CancelAfterBox(const CSelectDirDialog& dialog, bool* stayedOpen) {
    return [&dialog, stayedOpen] {
        const HWND frame = FrameOf(dialog);
        if (frame != nullptr && OwnedPopup(frame) != nullptr) return false;
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
        ::GetCurrentDirectoryA(MAX_PATH, m_savedCwd);
        DeleteRegistryTree(kLastVisited);
    }
    void TearDown() override {
        ::SetCurrentDirectoryA(m_savedCwd);
        ::DeleteFileA((m_base + "\\dir\\file.txt").c_str());
        for (const char* sub : {"\\dir\\sub", "\\dir", "\\other", ""})
            ::RemoveDirectoryA((m_base + sub).c_str());
    }

    static constexpr const char* kLastVisited =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU";
    std::string m_base;
    char m_savedCwd[MAX_PATH] = "";
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
        const char* name;
        std::string typed;
        INT_PTR result;
        std::string directory;  // expected; "" with IDCANCEL
        bool invalid;           // "Invalid directory" shown, the dialog stayed open
        // Checked by "Properties..." rather than confirmed: the platform does
        // not hand texts longer than a path to the dialog.
        bool viaProperties = false;
    };
    const Case cases[] = {
        {"trailing backslash", m_base + "\\dir\\", IDOK, m_base + "\\dir", false},
        {"drive root", "C:\\", IDOK, "C:", false},
        {"relative to the shown folder", "sub", IDOK, m_base + "\\dir\\sub", false},
        {"from the drive's root", m_base.substr(2) + "\\other", IDOK, m_base + "\\other", false},
        {"a file: its folder", m_base + "\\dir\\file.txt", IDOK, m_base + "\\dir", false},
        {"missing", m_base + "\\missing", IDCANCEL, "", true},
        {"no room for the pattern", longName, IDCANCEL, "", true},
        {"259 characters and a separator", longName + "\\", IDCANCEL, "", true, true},
        {"longer than a path", longName + longName, IDCANCEL, "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE);
        std::string caption;
        std::string message;
        bool stayedOpen = false;
        std::vector<Step> steps = {TypeAndConfirm(dialog, c.typed, c.viaProperties)};
        if (c.invalid) {
            steps.push_back(CloseMessageBox(dialog, &caption, &message));
            steps.push_back(CancelAfterBox(dialog, &stayedOpen));
        }
        INT_PTR result = -1;
        RunScript(steps, [&] { result = dialog.DoModal(); });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(std::string(dialog.GetDirectory()), c.directory);
        EXPECT_EQ(CurrentDirectory(), before);
        if (c.invalid) {
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
        RunScript({[&] {
                      const HWND frame = OwnedPopup(nullptr);
                      if (frame == nullptr) return false;
                      const std::string file = m_base + "\\other\\remembered.txt";
                      ::SendMessageA(NameField(frame), WM_SETTEXT, 0,
                                     reinterpret_cast<LPARAM>(file.c_str()));
                      ::PostMessageA(frame, WM_COMMAND, IDOK, 0);
                      return true;
                  }},
                  [&] { plain.DoModal(); });
    }
    ::SetCurrentDirectoryA(m_savedCwd);

    CSelectDirDialog dialog("Pick", nullptr, (m_base + "\\dir").c_str(), TRUE);
    std::string title;
    std::string startFolder;
    std::string startField;
    std::string label;
    std::string help;
    std::string rootField;
    std::string computerFolder;
    std::string computerField = "unchanged";
    const std::vector<Step> steps = {
        WhenShown(dialog,
                  [&](HWND frame) {
                      title = WindowText(frame);
                      startFolder = ShownFolder(frame);
                      startField = WindowText(NameField(frame));
                      label = WindowText(::GetDlgItem(frame, 1090));
                      help = WindowText(::GetDlgItem(frame, 1038));
                      // Up, to the drive's root.
                      for (int i = 0; i < 20 && ShownFolder(frame).size() > 3; ++i)
                          ::SendMessageA(frame, WM_COMMAND, 0xA001, 0);
                      rootField = WindowText(NameField(frame));
                      // And up once more, out of the file system.
                      ::SendMessageA(frame, WM_COMMAND, 0xA001, 0);
                  }),
        WhenShown(dialog,
                  [&](HWND frame) {
                      computerFolder = ShownFolder(frame);
                      computerField = WindowText(NameField(frame));
                      ::PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
                  }),
    };
    INT_PTR result = -1;
    RunScript(steps, [&] { result = dialog.DoModal(); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(title, "Pick");
    EXPECT_EQ(startFolder, m_base + "\\dir");
    EXPECT_EQ(startField, m_base + "\\dir");
    EXPECT_EQ(label, "Directory:");
    EXPECT_EQ(help, "Properties...");
    EXPECT_EQ(rootField, "C:\\");
    EXPECT_EQ(computerFolder.compare(0, 2, "::"), 0) << computerFolder;
    EXPECT_EQ(computerField, "");
}

// The numbers of a report line such as "7 MB free  (20%)".
std::vector<uint64_t> Numbers(const std::string& text) {
    std::vector<uint64_t> numbers;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        const size_t digits = word.find_first_of("0123456789");
        if (digits != std::string::npos) numbers.push_back(std::stoull(word.substr(digits)));
    }
    return numbers;
}

POINT Middle(HWND window) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
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
                SendMouse(Middle(button), 0);
                return true;
            },
            [target] {
                POINT cursor;
                ::GetCursorPos(&cursor);
                if (::WindowFromPoint(cursor) != target()) return false;
                SendMouse(Middle(target()), MOUSEEVENTF_LEFTDOWN);
                return true;
            },
            [target] {
                SendMouse(Middle(target()), MOUSEEVENTF_LEFTUP);
                return true;
            }};
}

TEST_F(SelectDirDialog, PropertiesClickReportsTheShownFolderVolumeOnce) {
    CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE);
    std::string caption;
    std::string report;
    ULARGE_INTEGER freeBefore{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER freeAfter{};
    bool secondReport = false;
    int quietTicks = 0;
    std::vector<Step> steps = ClickSteps([&] {
        const HWND frame = FrameOf(dialog);
        return frame != nullptr ? ::GetDlgItem(frame, 1038) : nullptr;
    });
    steps.insert(steps.begin(), WhenShown(dialog, [&](HWND) {
                     ::GetDiskFreeSpaceExA("C:\\", nullptr, &total, &freeBefore);
                 }));
    steps.push_back(CloseMessageBox(dialog, &caption, &report));
    steps.push_back([&] {
        // One click, one report.
        if (OwnedPopup(FrameOf(dialog)) != nullptr) secondReport = true;
        if (++quietTicks < 10) return false;
        ::GetDiskFreeSpaceExA("C:\\", nullptr, nullptr, &freeAfter);
        ::PostMessageA(FrameOf(dialog), WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    RunScript(steps, [&] { dialog.DoModal(); });

    EXPECT_EQ(caption, "(C:\\) properties");
    EXPECT_FALSE(secondReport);
    // "<capacity> MB capacity\n<free> MB free  (<percent>%)\n\nFile system = ..."
    const std::vector<uint64_t> numbers = Numbers(report.substr(0, report.find("\n\n")));
    ASSERT_EQ(numbers.size(), 3u) << report;
    constexpr uint64_t kMB = 1048576;
    EXPECT_EQ(numbers[0], total.QuadPart / kMB) << report;
    // Other programs write to the disk meanwhile: the free figure lies
    // between the two readings, give or take 64 MB.
    const uint64_t low = std::min(freeBefore.QuadPart, freeAfter.QuadPart) / kMB;
    const uint64_t high = std::max(freeBefore.QuadPart, freeAfter.QuadPart) / kMB;
    EXPECT_GE(numbers[1] + 64, low) << report;
    EXPECT_LE(numbers[1], high + 64) << report;
    EXPECT_EQ(numbers[2], numbers[1] * 100 / numbers[0]) << report;
    EXPECT_NE(report.find("\n\nFile system = "), std::string::npos) << report;
}

TEST_F(SelectDirDialog, FindInitialDirectoryFillsTheMainDialogField) {
    AfxGetApp()->m_strCmdLine.clear();
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        ::SetDlgItemTextA(dialog, IDC_INITIAL_DIR, (m_base + "\\dir").c_str());
        std::string title;
        std::string startFolder;
        HWND owner = nullptr;
        const auto pick = [&](const std::string& typed) {
            return std::vector<Step>{[&, typed] {
                const HWND frame = OwnedPopup(dialog);
                if (frame == nullptr) return false;
                title = WindowText(frame);
                startFolder = ShownFolder(frame);
                owner = ::GetWindow(frame, GW_OWNER);
                if (typed.empty()) {
                    ::PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
                } else {
                    ::SendMessageA(NameField(frame), WM_SETTEXT, 0,
                                   reinterpret_cast<LPARAM>(typed.c_str()));
                    ::PostMessageA(frame, WM_COMMAND, IDOK, 0);
                }
                return true;
            }};
        };
        RunScript(pick("sub"),
                  [&] { ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_INITIAL_DIR, 0); });
        EXPECT_EQ(title, "Find Initial directory");
        EXPECT_EQ(startFolder, m_base + "\\dir");
        EXPECT_EQ(owner, dialog);
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_INITIAL_DIR)), m_base + "\\dir\\sub");

        RunScript(pick(""), [&] { ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_INITIAL_DIR, 0); });
        EXPECT_EQ(startFolder, m_base + "\\dir\\sub");
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_INITIAL_DIR)), m_base + "\\dir\\sub");
    });
}

}  // namespace
}  // namespace kivrel_test
