#include "test_support.h"

#include <deque>
#include <utility>

#include "win_app.h"

namespace kivrel_test {

namespace {
struct Script {
    std::deque<Step> steps;
    int ticks = 0;  // since the last step ended
    bool running = false;
    bool stuck = false;
};
Script* g_pScript = nullptr;

BOOL CALLBACK CancelWindow(HWND hWnd, LPARAM) {
    if (::IsWindowVisible(hWnd)) ::PostMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD) {
    Script* script = g_pScript;
    if (script == nullptr || script->running) return;
    if (++script->ticks > 200) {
        script->stuck = true;
        ::EnumThreadWindows(::GetCurrentThreadId(), &CancelWindow, 0);
        return;
    }
    if (script->steps.empty()) return;
    // Taken out while it runs: it may enter a modal loop, where ticks go on.
    Step step = std::move(script->steps.front());
    script->steps.pop_front();
    script->running = true;
    const bool done = step();
    script->running = false;
    if (!done) script->steps.push_front(std::move(step));
    script->ticks = done ? 0 : script->ticks;
}

BOOL CALLBACK FindPopup(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<std::pair<HWND, HWND>*>(lParam);
    const bool found = ::IsWindowVisible(hWnd) && ::IsWindowEnabled(hWnd) &&
                       ::GetWindow(hWnd, GW_OWNER) == search->first;
    if (found) search->second = hWnd;
    return !found;
}
}  // namespace

bool RunSteps(std::vector<Step> steps, const std::function<void()>& show) {
    Script script{{steps.begin(), steps.end()}};
    Script* outer = std::exchange(g_pScript, &script);
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &RunStep);
    show();
    ::KillTimer(nullptr, timer);
    g_pScript = outer;
    return !script.stuck && script.steps.empty();
}

HWND Popup(HWND owner) {
    std::pair<HWND, HWND> search{owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindPopup, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

Step WithPopup(HWND owner, std::function<void(HWND)> action) {
    return [owner, action] {
        const HWND popup = Popup(owner);
        if (popup != nullptr) action(popup);
        return popup != nullptr;
    };
}

INT_PTR RunDialog(CDialog& dialog, const std::function<void(HWND)>& body) {
    INT_PTR result = -1;
    const Step inside = [&] {
        const HWND hWnd = dialog.m_hWnd;
        if (hWnd == nullptr || !::IsWindowVisible(hWnd)) return false;
        body(hWnd);
        // EndDialog hides the dialog at once: a visible one is still running.
        if (::IsWindow(hWnd) && ::IsWindowVisible(hWnd)) ::EndDialog(hWnd, kEndedByTest);
        return true;
    };
    RunSteps({inside}, [&] { result = dialog.DoModal(); });
    return result;
}

void PumpMessages(DWORD milliseconds, HWND dialog) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (dialog != nullptr && ::IsDialogMessageA(dialog, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < milliseconds);
}

bool PumpUntil(const std::function<bool()>& done, int seconds, HWND dialog) {
    for (int wait = 0; wait < seconds * 100 && !done(); ++wait) PumpMessages(10, dialog);
    return done();
}

void PressKeys(const std::vector<BYTE>& keys) {
    for (BYTE key : keys) ::keybd_event(key, 0, 0, 0);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        ::keybd_event(*key, 0, KEYEVENTF_KEYUP, 0);
}

bool StartHostProgram(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // The handles Wine returns for a Unix program are not real ones: not closed.
    return ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info) != FALSE;
}

HWND TestWindow(const char* className, DWORD style, const RECT& rect, HWND parent, int id) {
    return ::CreateWindowExA(0, className, "", style | WS_VISIBLE, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, parent,
                             reinterpret_cast<HMENU>(INT_PTR{id}), ::GetModuleHandleA(nullptr),
                             nullptr);
}

std::vector<Line> ListLines(HWND list) {
    std::vector<Line> lines;
    for (int i = 0; i < ::SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
        std::string text(size_t(::SendMessageA(list, LB_GETTEXTLEN, i, 0)) + 1, '\0');
        text.resize(size_t(::SendMessageA(list, LB_GETTEXT, i, LPARAM(text.data()))));
        lines.push_back({text, uint32_t(::SendMessageA(list, LB_GETITEMDATA, i, 0))});
    }
    return lines;
}

std::vector<Line> CoreReport(const std::string& module, const std::string& kept) {
    auto platform = kivrel::CreateNativePlatform();
    kivrel::CReferenceScanner scanner(*platform);
    kivrel::CReportLines sink;
    if (!kept.empty()) scanner.Scan(kept, "", true, sink);
    scanner.Scan(module, "", kept.empty(), sink);
    return sink.Lines();
}

std::string WindowText(HWND window) {
    // WM_GETTEXT rather than GetWindowText: it also reads another process's controls.
    char text[1024] = "";
    ::SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

CRect WindowRect(HWND window) {
    CRect rect;
    ::GetWindowRect(window, &rect);
    return rect;
}

POINT CentreOf(HWND window) {
    const CRect rect = WindowRect(window);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

std::optional<std::string> ReadRegistryString(const char* path, const char* value) {
    char data[1024] = "";
    DWORD size = sizeof(data);
    if (::RegGetValueA(HKEY_CURRENT_USER, path, value, RRF_RT_REG_SZ, nullptr, data, &size) != 0)
        return std::nullopt;
    return std::string(data);
}

CTestProgram::CTestProgram(const std::string& path, const std::string& arguments,
                           const char* className) {
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &m_info))
        return;
    m_process.Reset(m_info.hProcess);
    m_thread.Reset(m_info.hThread);
    PumpUntil(
        [&] {
            for (m_hWnd = nullptr;
                 (m_hWnd = ::FindWindowExA(nullptr, m_hWnd, className, nullptr));) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(m_hWnd, &owner);
                if (owner == m_info.dwProcessId && ::IsWindowVisible(m_hWnd)) return true;
            }
            return false;
        },
        30);
}

CTestProgram::~CTestProgram() {
    if (!m_process) return;
    ::TerminateProcess(m_process.Get(), 99);  // harmless once ended
    ::WaitForSingleObject(m_process.Get(), 10000);
}

int CTestProgram::Exit() const {
    ::PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
    DWORD code = DWORD(-1);
    if (::WaitForSingleObject(m_info.hProcess, 10000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(m_info.hProcess, &code);
    return static_cast<int>(code);
}

void DialogTest::SetUp() {
    AfxGetApp()->m_strCmdLine.clear();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestSectionPath);
}

}  // namespace kivrel_test
