// Helpers of the GUI tests: running a modal dialog with a test body inside
// its message loop, reading controls back, the registry, and the fixtures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialog.h"
#include "report_lines.h"
#include "types.h"

namespace kivrel_test {

// Registry key of the in-process tests' settings, beside the program's own.
constexpr const char* kTestRegistryKey = "VelmarinTests";
// The section key of the in-process tests and of Kivrel.exe.
constexpr const char* kTestSectionPath = "Software\\VelmarinTests\\Kivrel\\Main";
constexpr const char* kProgramSectionPath = "Software\\Velmarin\\Kivrel\\Main";

// What the body of RunDialog leaves when it does not end the dialog itself.
constexpr INT_PTR kEndedByTest = 0x7E57;

// Runs `dialog` modally and calls `body` with its window from inside the
// dialog's message loop, after the messages posted during start-up have
// been handled. Ends the dialog with kEndedByTest unless the body ended it.
INT_PTR RunDialog(CDialog& dialog, const std::function<void(HWND)>& body);

// Calls `body` from inside the next modal loop that this thread enters (a
// nested dialog) with the active window of the thread, once it is shown.
void OnNextModalLoop(const std::function<void(HWND)>& body);

// Dispatches this thread's pending messages for about `milliseconds`.
void PumpMessages(DWORD milliseconds);
// Dispatches them until `done` holds or about eight seconds have passed.
bool PumpUntil(const std::function<bool()>& done);
// Starts a program of the host system (Wine runs Unix paths as they are,
// e.g. "/usr/bin/xdotool ..."). Wine gives no handle to wait on: callers
// wait for the program's effect.
bool StartHostProgram(std::string commandLine);

using Line = kivrel::ReportLine;
std::vector<Line> ListLines(HWND list);
// The lengths of the lines' texts and their values: what another process's
// list tells about its lines (LB_GETTEXT is not passed between processes).
std::vector<std::pair<int, uint32_t>> LineShapes(HWND list);
std::vector<std::pair<int, uint32_t>> LineShapes(const std::vector<Line>& lines);
// The report of the scan core alone for `module`, in this environment.
std::vector<Line> CoreReport(const std::string& module);
std::string WindowText(HWND window);

// A child's rectangle in its parent's client coordinates.
CRect ChildRect(HWND child);
CRect WindowRect(HWND window);
// A window's centre in screen coordinates.
POINT CentreOf(HWND window);

// Registry under HKEY_CURRENT_USER.
void DeleteRegistryTree(const char* path);
std::optional<std::string> ReadRegistryString(const char* path, const char* value);
std::optional<DWORD> ReadRegistryDword(const char* path, const char* value);
void WriteRegistryString(const char* path, const char* value, const std::string& data);

// Fixture modules built with the tests; Windows paths.
std::string FixtureDirectory();
std::string FixtureProgram();
std::string KivrelProgram();

}  // namespace kivrel_test
