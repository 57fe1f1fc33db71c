// Helpers of the GUI tests: scripts of steps run inside modal loops, test
// windows, reading controls back, drops and drags, the registry and the
// fixtures.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialog.h"
#include "handle.h"
#include "kivrel_dlg.h"
#include "report_lines.h"
#include "types.h"

namespace kivrel_test {

// Registry key of the in-process tests' settings, beside the program's own.
constexpr const char* kTestRegistryKey = "VelmarinTests";
constexpr const char* kTestSectionPath = "Software\\VelmarinTests\\Kivrel\\Main";
constexpr const char* kProgramSectionPath = "Software\\Velmarin\\Kivrel\\Main";

// What RunDialog leaves when its body does not end the dialog itself.
constexpr INT_PTR kEndedByTest = 0x7E57;

// A step runs at every tick until it returns true; then the next one starts.
using Step = std::function<bool()>;
// Runs `show` (which enters a modal loop) while a thread timer runs `steps`
// inside whatever modal loop is current. After ten seconds stuck it cancels the
// thread's windows. False when it was stuck or steps were left.
bool RunSteps(std::vector<Step> steps, const std::function<void()>& show);
// The visible, enabled window of this thread owned by `owner`, or nullptr.
HWND Popup(HWND owner);
// A step that waits for Popup(owner) and runs `action` on it.
Step WithPopup(HWND owner, std::function<void(HWND)> action);
// Sends `command` to `dialog` and runs `action` on the window it opens; false
// unless one owned by the dialog opened.
bool CommandWithPopup(HWND dialog, UINT command, std::function<void(HWND)> action);
// Runs `dialog` modally, calls `body` once it is shown, then ends it with
// kEndedByTest unless the body did.
INT_PTR RunDialog(CDialog& dialog, const std::function<void(HWND)>& body);

// Dispatches this thread's messages for about `milliseconds`; the keys of
// `dialog` go through its dialog manager, as in its own loop.
void PumpMessages(DWORD milliseconds, HWND dialog = nullptr);
// Dispatches them until `done` holds or about `seconds` have passed.
bool PumpUntil(const std::function<bool()>& done, int seconds = 8, HWND dialog = nullptr);
// Real key presses: each key down in order, then up in reverse.
void PressKeys(const std::vector<BYTE>& keys);
// Runs xdotool in the test's display; Wine gives no handle to wait on.
bool Xdotool(const std::string& actions);
// Moves the real pointer and waits until Wine reports it there (it moves late).
bool MovePointer(POINT to);

// A visible window of a system class.
HWND TestWindow(const char* className, DWORD style, const RECT& rect, HWND parent = nullptr,
                int id = 0);

using Line = kivrel::ReportLine;
std::vector<Line> ListLines(HWND list);
// The scan core's report for `module`; with `kept`, of a scan that keeps
// the lists of a scan of `kept` before it (cleanup off).
std::vector<Line> CoreReport(const std::string& module, const std::string& kept = "");
std::string WindowText(HWND window);
// Scans `module` with the main dialog's Scan button; the results list's lines.
std::vector<Line> ScanInDialog(HWND dialog, const std::string& module);

CRect WindowRect(HWND window);
inline std::pair<LONG, LONG> TopLeft(const RECT& rect) { return {rect.left, rect.top}; }
POINT CentreOf(const RECT& rect);
POINT CentreOf(HWND window);  // screen coordinates
POINT ToScreen(HWND window, POINT client);

// How DropData offers its bytes: in a block; as a stream of them; as a stream
// of 'x' for ever, of 'x' reporting more than was asked, or of one chunk of 'p'
// and then an error.
enum class StreamKind { kNone, kPlain, kEndless, kOversized, kFailing };

struct DropResult {
    DWORD effect;
    size_t streamBytesRead;
};
// Drags `bytes` offered as `cf` (a copy or a move) over `target` at `screen`
// and, as OLE does, drops them only if the enter took them.
DropResult DropData(IDropTarget* target, POINT screen, CLIPFORMAT cf, const std::string& bytes,
                    StreamKind stream = StreamKind::kNone);

// Presses the left button at `fromClient` of `window` (with Ctrl when asked)
// through the key state, moves the pointer to `toScreen` and drops there; `midway` runs while the
// drag is under way. Returns once the press handler has returned.
void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl = false,
                   const std::function<void()>& midway = {});
// Presses and releases at `fromClient` without moving, with the drag distance
// and delay out of reach: only the release decides, however slow the test.
void PressWithMouse(HWND window, POINT fromClient);

// The client centre of line `index` of a list box.
POINT LineCentre(HWND list, int index);

// A string value under HKEY_CURRENT_USER, if there is one.
std::optional<std::string> ReadRegistryString(const char* path, const char* value);

// Fixture modules built with the tests, and the program; Windows paths.
inline std::string FixtureDirectory() { return KIVREL_FIXTURE_DIR; }
inline std::string FixtureProgram() { return FixtureDirectory() + "\\fixture_app.exe"; }
inline std::string KivrelProgram() { return KIVREL_PROGRAM; }

// A program started for a test and its visible window of `className`;
// ended with the test.
class CTestProgram {
public:
    CTestProgram(const std::string& path, const std::string& arguments,
                 const char* className = "#32770");
    ~CTestProgram();
    // Leaves by Exit; the exit code, or -1 when the program did not end.
    int Exit() const;

    PROCESS_INFORMATION m_info{};
    CKernelHandle m_process, m_thread;
    HWND m_hWnd = nullptr;
};

// The main dialog with its members in reach.
class CProbeKivrelDlg : public CKivrelDlg {
public:
    using CKivrelDlg::m_bCleanup;
    using CKivrelDlg::m_font;
    using CKivrelDlg::m_helpTips;
};

// The main dialog in this process: no command line, no settings.
class DialogTest : public testing::Test {
protected:
    void SetUp() override;
};

}  // namespace kivrel_test
