// How many copies of this program are running: the instance number of the
// resizable dialog, which keeps the placements of simultaneous copies apart.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "resizable_dialog.h"

namespace {
// The long form of a path, so that a short (8.3) spelling compares equal.
std::string LongPath(const char* path) {
    char buffer[MAX_PATH];
    const DWORD length = ::GetLongPathNameA(path, buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string(path);
}

// The executable of another process; "" when it cannot be asked.
std::string ProcessImagePath(DWORD processId) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return {};
    char buffer[MAX_PATH];
    DWORD size = MAX_PATH;
    const BOOL ok = ::QueryFullProcessImageNameA(process, 0, buffer, &size);
    ::CloseHandle(process);
    return ok ? LongPath(buffer) : std::string();
}

const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; p = ::CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    return name;
}
}  // namespace

int CResizableDialog::CountRunningInstances() {
    char ownPath[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    const std::string ownLongPath = LongPath(ownPath);
    const char* ownName = FileNamePart(ownLongPath.c_str());

    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    PROCESSENTRY32 entry{};
#if !defined(_WIN64)
    static_assert(sizeof(PROCESSENTRY32) == 296, "process entry record of the 32-bit program");
#endif
    entry.dwSize = sizeof(entry);
    const DWORD ownId = ::GetCurrentProcessId();
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        // Older systems list full paths; current ones list bare file names,
        // whose full path has to be asked of the process itself.
        if (lstrcmpiA(entry.szExeFile, ownPath) == 0 ||
            lstrcmpiA(entry.szExeFile, ownLongPath.c_str()) == 0) {
            ++count;
        } else if (lstrcmpiA(FileNamePart(entry.szExeFile), ownName) == 0) {
            if (entry.th32ProcessID == ownId ||
                lstrcmpiA(ProcessImagePath(entry.th32ProcessID).c_str(), ownLongPath.c_str()) ==
                    0) {
                ++count;
            }
        }
    }
    ::CloseHandle(snapshot);
    return count;
}
