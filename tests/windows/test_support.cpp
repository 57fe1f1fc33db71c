#include "test_support.h"



namespace kivrel_test {

namespace {
struct PendingBody {
    std::function<void(HWND)> body;
    UINT_PTR timer = 0;
};
PendingBody g_dialogBody;
PendingBody g_modalBody;

HWND g_hWndRunning = nullptr;

void CALLBACK RunDialogBody(HWND, UINT, UINT_PTR, DWORD) {
    ::KillTimer(nullptr, g_dialogBody.timer);
    g_dialogBody.timer = 0;
    const HWND hWnd = g_hWndRunning;
    auto body = std::move(g_dialogBody.body);
    g_dialogBody.body = nullptr;
    if (hWnd == nullptr || !body) return;
    body(hWnd);
    // EndDialog hides the dialog at once: a visible one is still running.
    if (::IsWindow(hWnd) && ::IsWindowVisible(hWnd)) ::EndDialog(hWnd, kEndedByTest);
}

BOOL CALLBACK FindActivePopup(HWND hWnd, LPARAM lParam) {
    if (::IsWindowVisible(hWnd) && ::IsWindowEnabled(hWnd)) {
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK RunModalBody(HWND, UINT, UINT_PTR, DWORD) {
    // The nested dialog is the enabled one: its owner is disabled while it runs.
    HWND hWnd = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindActivePopup, reinterpret_cast<LPARAM>(&hWnd));
    if (hWnd == nullptr) return;  // not shown yet: try at the next tick
    ::KillTimer(nullptr, g_modalBody.timer);
    g_modalBody.timer = 0;
    auto body = std::move(g_modalBody.body);
    g_modalBody.body = nullptr;
    if (body) body(hWnd);
}

CDialog* g_pDialog = nullptr;

// Waits for the dialog to be shown, then runs the body once.
void CALLBACK StartDialogBody(HWND, UINT, UINT_PTR, DWORD) {
    if (g_pDialog == nullptr || g_pDialog->m_hWnd == nullptr ||
        !::IsWindowVisible(g_pDialog->m_hWnd)) {
        return;
    }
    g_hWndRunning = g_pDialog->m_hWnd;
    RunDialogBody(nullptr, 0, 0, 0);
}
}  // namespace

INT_PTR RunDialog(CDialog& dialog, const std::function<void(HWND)>& body) {
    g_dialogBody.body = body;
    g_pDialog = &dialog;
    g_hWndRunning = nullptr;
    g_dialogBody.timer = ::SetTimer(nullptr, 0, 50, &StartDialogBody);
    const INT_PTR result = dialog.DoModal();
    if (g_dialogBody.timer != 0) ::KillTimer(nullptr, g_dialogBody.timer);
    g_dialogBody = PendingBody{};
    g_pDialog = nullptr;
    g_hWndRunning = nullptr;
    return result;
}

void OnNextModalLoop(const std::function<void(HWND)>& body) {
    g_modalBody.body = body;
    g_modalBody.timer = ::SetTimer(nullptr, 0, 50, &RunModalBody);
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < milliseconds);
}

bool PumpUntil(const std::function<bool()>& done) {
    for (int wait = 0; wait < 800 && !done(); ++wait) PumpMessages(10);
    return done();
}

bool StartHostProgram(std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // The thread handle Wine returns for a Unix program is one of its own:
    // it is not closed here.
    return ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info) != FALSE;
}

std::vector<Line> ListLines(HWND list) {
    std::vector<Line> lines;
    const int count = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageA(list, LB_GETTEXTLEN, i, 0);
        std::string text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
        const LRESULT copied =
            ::SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        const uint32_t value = static_cast<uint32_t>(::SendMessageA(list, LB_GETITEMDATA, i, 0));
        lines.push_back({text, value});
    }
    return lines;
}

std::vector<std::pair<int, uint32_t>> LineShapes(HWND list) {
    std::vector<std::pair<int, uint32_t>> shapes;
    const int count = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        shapes.emplace_back(static_cast<int>(::SendMessageA(list, LB_GETTEXTLEN, i, 0)),
                            static_cast<uint32_t>(::SendMessageA(list, LB_GETITEMDATA, i, 0)));
    }
    return shapes;
}

std::vector<std::pair<int, uint32_t>> LineShapes(const std::vector<Line>& lines) {
    std::vector<std::pair<int, uint32_t>> shapes;
    for (const Line& line : lines)
        shapes.emplace_back(static_cast<int>(line.text.size()), line.value);
    return shapes;
}

std::vector<Line> CoreReport(const std::string& module) {
    auto platform = kivrel::CreateNativePlatform();
    kivrel::CReferenceScanner scanner(*platform);
    kivrel::CReportLines sink;
    scanner.Scan(module, "", true, sink);
    return sink.Lines();
}

std::string WindowText(HWND window) {
    // WM_GETTEXT rather than GetWindowText: it also reads controls of
    // another process.
    char text[1024] = "";
    ::SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

CRect ChildRect(HWND child) {
    CRect rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
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

void DeleteRegistryTree(const char* path) { ::RegDeleteTreeA(HKEY_CURRENT_USER, path); }

std::optional<std::string> ReadRegistryString(const char* path, const char* value) {
    char data[1024] = "";
    DWORD size = sizeof(data) - 1;
    if (::RegGetValueA(HKEY_CURRENT_USER, path, value, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(data);
}

std::optional<DWORD> ReadRegistryDword(const char* path, const char* value) {
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (::RegGetValueA(HKEY_CURRENT_USER, path, value, RRF_RT_REG_DWORD, nullptr, &data, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

void WriteRegistryString(const char* path, const char* value, const std::string& data) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return;
    }
    ::RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + 1));
    ::RegCloseKey(key);
}

std::string FixtureDirectory() { return KIVREL_FIXTURE_DIR; }
std::string FixtureProgram() { return FixtureDirectory() + "\\fixture_app.exe"; }
std::string KivrelProgram() { return KIVREL_PROGRAM; }

}  // namespace kivrel_test
