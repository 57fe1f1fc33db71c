// The directory dialog on the platform's real file dialog, driven by steps
// inside its modal loop and the message boxes it opens.
#include "select_dir_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

HWND FrameOf(const CSelectDirDialog& dialog) {
    return dialog.m_hWnd != nullptr ? ::GetParent(dialog.m_hWnd) : nullptr;
}

std::string ShownFolder(HWND frame) {
    char folder[MAX_PATH] = "";
    ::SendMessageA(frame, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    return folder;
}

// The platform's file-name field is the combo box cmb13, not edt1.
void TypeName(HWND frame, const std::string& text) {
    ::SendDlgItemMessageA(frame, 1148, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A step that waits for the dialog's frame, then acts on it.
Step WhenShown(const CSelectDirDialog& dialog, std::function<void(HWND)> action) {
    return [&dialog, action] {
        const HWND frame = FrameOf(dialog);
        if (frame == nullptr || !::IsWindowVisible(frame)) return false;
        action(frame);
        return true;
    };
}

// Waits for a message box of the frame, keeps "caption: text" and closes it.
Step CloseMessageBox(const CSelectDirDialog& dialog, std::string* seen) {
    return [&dialog, seen] {
        return WithPopup(FrameOf(dialog), [seen](HWND box) {
            *seen = WindowText(box) + ": " + WindowText(::GetDlgItem(box, 0xFFFF));
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        })();
    };
}

// After `quiet` ticks without a message box, records whether the frame is
// still open and cancels it.
Step CancelWhenQuiet(const CSelectDirDialog& dialog, bool* stayedOpen, int quiet = 1) {
    return [&dialog, stayedOpen, quiet, ticks = 0]() mutable {
        const HWND frame = FrameOf(dialog);
        if (frame != nullptr && Popup(frame) != nullptr) return false;  // stuck if it stays
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

// Also: the current directory stays, whatever the dialog did, even unshown.
TEST_F(SelectDirDialog, ConfirmedTextGivesTheCheckedDirectory) {
    ::SetCurrentDirectoryA((m_base + "\\other").c_str());
    const std::string before = CurrentDirectory();
    { CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE); }
    EXPECT_EQ(CurrentDirectory(), before) << "never shown";
    const std::string longName = "C:\\" + std::string(256, 'a');  // 259 characters
    // directory "": "Invalid directory" shown and the dialog stayed open.
    // Texts longer than a path are checked by "Properties...": the platform
    // does not hand them to the dialog when confirmed.
    // clang-format off
    const struct { std::string typed, directory; bool viaProperties = false; } cases[] = {
        {m_base + "\\dir\\", m_base + "\\dir"},
        {"C:\\", "C:"},
        {"sub", m_base + "\\dir\\sub"},  // relative to the shown folder
        {m_base.substr(2) + "\\other", m_base + "\\other"},
        {m_base + "\\dir\\file.txt", m_base + "\\dir"},
        {m_base + "\\missing", ""},
        {longName, ""},  // no room for the pattern
        {longName + longName, "", true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE);
        std::string message;
        bool stayedOpen = false;
        std::vector<Step> steps = {WhenShown(dialog, [&](HWND frame) {
            TypeName(frame, c.typed);
            const int button = c.viaProperties ? 1038 : IDOK;
            ::PostMessageA(frame, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                           LPARAM(c.viaProperties ? ::GetDlgItem(frame, button) : nullptr));
        })};
        if (c.directory.empty()) {
            steps.push_back(CloseMessageBox(dialog, &message));
            steps.push_back(CancelWhenQuiet(dialog, &stayedOpen));
        }
        INT_PTR result = -1;
        EXPECT_TRUE(RunSteps(steps, [&] { result = dialog.DoModal(); }));
        EXPECT_EQ(result, c.directory.empty() ? IDCANCEL : IDOK);
        EXPECT_EQ(std::string(dialog.GetDirectory()), c.directory);
        EXPECT_EQ(CurrentDirectory(), before);
        if (c.directory.empty()) {
            EXPECT_EQ(message, std::string(AfxGetAppName()) + ": Invalid directory");
            EXPECT_TRUE(stayedOpen);
        }
    }
}

TEST_F(SelectDirDialog, StartsInTheInitialDirectoryAndFieldFollowsTheFolder) {
    // The platform remembers the folder of a plain open dialog's last choice.
    ::SetCurrentDirectoryA((m_base + "\\other").c_str());
    {
        CFileDialog plain(TRUE, nullptr, nullptr, OFN_NOVALIDATE);
        RunSteps({WithPopup(nullptr,
                            [&](HWND frame) {
                                TypeName(frame, m_base + "\\other\\remembered.txt");
                                ::PostMessageA(frame, WM_COMMAND, IDOK, 0);
                            })},
                 [&] { plain.DoModal(); });
    }
    AfxGetApp()->m_strCmdLine.clear();
    const std::string dir = m_base + "\\dir";
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        ::SetDlgItemTextA(dialog, IDC_INITIAL_DIR, dir.c_str());
        const auto find = [&](const std::vector<Step>& steps) {
            return RunSteps(steps,
                            [&] { ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_INITIAL_DIR, 0); });
        };
        std::vector<std::string> seen;  // title, folder, field, label, help; root field
        std::string computerFolder, computerField = "unchanged";
        const auto field = [](HWND frame, int id) { return WindowText(::GetDlgItem(frame, id)); };
        // Owned by the main dialog, or the steps never find it.
        EXPECT_TRUE(find({
            WithPopup(dialog,
                      [&](HWND frame) {
                          seen = {WindowText(frame), ShownFolder(frame), field(frame, 1148),
                                  field(frame, 1090), field(frame, 1038)};
                          // Up to the drive's root, then once more, out of the file system.
                          for (int i = 0; i < 20 && ShownFolder(frame).size() > 3; ++i)
                              ::SendMessageA(frame, WM_COMMAND, 0xA001, 0);
                          seen.push_back(field(frame, 1148));
                          ::SendMessageA(frame, WM_COMMAND, 0xA001, 0);
                      }),
            WithPopup(dialog,
                      [&](HWND frame) {
                          computerFolder = ShownFolder(frame);
                          computerField = field(frame, 1148);
                          ::PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
                      }),
        }));
        EXPECT_EQ(seen, (std::vector<std::string>{"Find Initial directory", dir, dir,
                                                  "Directory:", "Properties...", "C:\\"}));
        EXPECT_EQ(computerFolder.compare(0, 2, "::"), 0) << computerFolder;
        EXPECT_EQ(computerField, "");
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_INITIAL_DIR)), dir);
        // Confirmed, the field takes the directory.
        EXPECT_TRUE(find({WithPopup(dialog, [&](HWND frame) {
            TypeName(frame, "sub");
            ::PostMessageA(frame, WM_COMMAND, IDOK, 0);
        })}));
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_INITIAL_DIR)), dir + "\\sub");
    });
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

TEST_F(SelectDirDialog, PropertiesClickReportsTheShownFolderVolumeOnce) {
    CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE);
    const auto button = [&] { return ::GetDlgItem(FrameOf(dialog), 1038); };
    std::string report;
    bool stayedOpen = false;
    // A user's click through the platform's input queue: the pointer moves
    // there, and once it is over the button, the button goes down and up.
    const std::vector<Step> steps = {
        WhenShown(dialog, [&](HWND) { SendMouse(CentreOf(button()), 0); }),
        [&] {
            POINT cursor;
            ::GetCursorPos(&cursor);
            if (::WindowFromPoint(cursor) != button()) return false;
            SendMouse(cursor, MOUSEEVENTF_LEFTDOWN);
            return true;
        },
        [&] {
            SendMouse(CentreOf(button()), MOUSEEVENTF_LEFTUP);
            return true;
        },
        CloseMessageBox(dialog, &report),
        // One click, one report: a second box would keep this step waiting.
        CancelWhenQuiet(dialog, &stayedOpen, 10),
    };
    // Other programs write to the disk meanwhile: the report's free space
    // lies between a reading before and one after.
    ULARGE_INTEGER before{}, free{}, total{};
    ::GetDiskFreeSpaceExA("C:\\", nullptr, nullptr, &before);
    EXPECT_TRUE(RunSteps(steps, [&] { dialog.DoModal(); }));
    ::GetDiskFreeSpaceExA("C:\\", nullptr, &total, &free);
    std::smatch n;
    ASSERT_TRUE(std::regex_search(report, n,
                                  std::regex("^\\(C:\\\\\\) properties: (\\d+) MB capacity\n(\\d+) "
                                             "MB free  \\((\\d+)%\\)\n\nFile system = ")))
        << report;
    const uint64_t kMB = 1048576, shown = std::stoull(n[2]);
    EXPECT_EQ(std::stoull(n[1]), total.QuadPart / kMB) << report;
    EXPECT_GE(shown, std::min(before.QuadPart, free.QuadPart) / kMB) << report;
    EXPECT_LE(shown, std::max(before.QuadPart, free.QuadPart) / kMB) << report;
    EXPECT_EQ(std::stoull(n[3]), std::stoull(n[2]) * 100 / std::stoull(n[1])) << report;
}

}  // namespace
}  // namespace kivrel_test
