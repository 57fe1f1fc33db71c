#include "test_support.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>

#include "global_memory.h"
#include "kivrel_app.h"
#include "ole_data_source.h"
#include "ole_init.h"
#include "resource.h"
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

bool StartProcess(const char* application, std::string commandLine, PROCESS_INFORMATION& info) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    return ::CreateProcessA(application, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info) != FALSE;
}

BOOL CALLBACK FindPopup(HWND hWnd, LPARAM lParam) {
    auto* search = reinterpret_cast<std::pair<HWND, HWND>*>(lParam);
    const bool found = ::IsWindowVisible(hWnd) && ::IsWindowEnabled(hWnd) &&
                       ::GetWindow(hWnd, GW_OWNER) == search->first;
    if (found) search->second = hWnd;
    return !found;
}

// Offers its bytes as a stream whatever kind was asked for (a lie a list must
// refuse); the stream is the object itself. Lives on its caller's stack.
class CStreamData : public IDataObject, public IStream {
public:
    CStreamData(CLIPFORMAT cf, const std::string& bytes, StreamKind kind)
        : m_cf(cf), m_bytes(bytes), m_kind(kind) {}
    size_t m_nRead = 0;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == IID_IStream) *ppv = static_cast<IStream*>(this);
        if (riid == IID_IDataObject || riid == IID_IUnknown) *ppv = static_cast<IDataObject*>(this);
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetData)(FORMATETC* pFormat, STGMEDIUM* pMedium) override {
        if (QueryGetData(pFormat) != S_OK) return DV_E_FORMATETC;
        *pMedium = STGMEDIUM{};
        pMedium->tymed = TYMED_ISTREAM;
        pMedium->pstm = this;
        return S_OK;
    }
    STDMETHOD(QueryGetData)(FORMATETC* pFormat) override {
        return pFormat->cfFormat == m_cf ? S_OK : DV_E_FORMATETC;
    }
    STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) override {
        ULONG got = cb;
        if (m_kind == StreamKind::kPlain) {
            got = static_cast<ULONG>(std::min<size_t>(cb, m_bytes.size() - m_nAt));
            std::memcpy(pv, m_bytes.data() + m_nAt, got);
            m_nAt += got;
        } else if (m_kind == StreamKind::kFailing && m_nAt++ > 0) {
            return E_FAIL;
        } else {
            std::memset(pv, m_kind == StreamKind::kFailing ? 'p' : 'x', cb);
        }
        m_nRead += got;
        if (pcbRead != nullptr) *pcbRead = m_kind == StreamKind::kOversized ? got + 1000 : got;
        return got < cb ? S_FALSE : S_OK;
    }
    // clang-format off
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHOD(Write)(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHOD(Seek)(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(SetSize)(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHOD(CopyTo)(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(Commit)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Revert)() override { return E_NOTIMPL; }
    STDMETHOD(LockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stat)(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Clone)(IStream**) override { return E_NOTIMPL; }
    // clang-format on

private:
    CLIPFORMAT m_cf;
    std::string m_bytes;
    StreamKind m_kind;
    size_t m_nAt = 0;
};

void SetButtons(bool left, bool ctrl) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_LBUTTON] = left ? 0x80 : 0;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

// Moves the pointer and waits until the display reports it there.
void MoveCursor(POINT to) {
    ::SetCursorPos(to.x, to.y);
    POINT now{};
    for (int i = 0; i < 50 && !(::GetCursorPos(&now) && now.x == to.x && now.y == to.y); ++i) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        ::Sleep(10);
    }
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

bool CommandWithPopup(HWND dialog, UINT command, std::function<void(HWND)> action) {
    return RunSteps({WithPopup(dialog, std::move(action))},
                    [&] { ::SendMessageA(dialog, WM_COMMAND, command, 0); });
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

bool Xdotool(const std::string& actions) {
    PROCESS_INFORMATION info{};
    // The handles Wine returns for a Unix program are not real ones: not closed.
    return StartProcess(nullptr, "/usr/bin/xdotool " + actions, info);
}

bool MovePointer(POINT to) {
    POINT now{};
    return Xdotool("mousemove " + std::to_string(to.x) + " " + std::to_string(to.y)) &&
           PumpUntil([&] { return ::GetCursorPos(&now) && now.x == to.x && now.y == to.y; });
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

std::vector<Line> ScanInDialog(HWND dialog, const std::string& module) {
    ::SetDlgItemTextA(dialog, IDC_MODULE, module.c_str());
    ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    return ListLines(::GetDlgItem(dialog, IDC_RESULTS));
}

CRect WindowRect(HWND window) {
    CRect rect;
    ::GetWindowRect(window, &rect);
    return rect;
}

POINT CentreOf(const RECT& rect) {
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

POINT CentreOf(HWND window) { return CentreOf(WindowRect(window)); }

POINT ToScreen(HWND window, POINT client) {
    ::ClientToScreen(window, &client);
    return client;
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
    if (!StartProcess(path.c_str(), "\"" + path + "\" " + arguments, m_info)) return;
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

DropResult DropData(IDropTarget* target, POINT screen, CLIPFORMAT cf, const std::string& bytes,
                    StreamKind stream) {
    CStreamData streamed(cf, bytes, stream);
    CComRef<COleDataSource> source = COleDataSource::Create();
    CGlobalHandle block = AllocateGlobalCopy(bytes.data(), bytes.size());
    source->CacheGlobalData(cf, block);
    IDataObject* data =
        stream == StreamKind::kNone ? static_cast<IDataObject*>(source.Get()) : &streamed;
    const DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    DWORD effect = allowed;
    const POINTL at{screen.x, screen.y};
    target->DragEnter(data, 0, at, &effect);
    if (effect == DROPEFFECT_NONE) return target->DragLeave(), DropResult{effect, 0};
    effect = allowed;
    target->Drop(data, 0, at, &effect);
    return {effect, streamed.m_nRead};
}

void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl,
                   const std::function<void()>& midway) {
    MoveCursor(ToScreen(window, fromClient));
    PumpMessages(50);  // moves still queued would count as part of the press
    SetButtons(true, ctrl);
    bool released = false;
    const Step hold = [&, ticks = 5]() mutable {
        MoveCursor(toScreen);  // the display may put the pointer back once after a move
        if (--ticks == 2 && midway) midway();
        if (ticks > 0) return false;
        SetButtons(false, ctrl);
        return released = true;
    };
    RunSteps({hold}, [&] {
        const WPARAM keys = MK_LBUTTON | (ctrl ? MK_CONTROL : 0);
        ::SendMessageA(window, WM_LBUTTONDOWN, keys, MAKELPARAM(fromClient.x, fromClient.y));
        PumpUntil([&] { return released; });  // a press that started nothing
    });
    SetButtons(false, false);
}

void PressWithMouse(HWND window, POINT fromClient) {
    ::WriteProfileStringA("windows", "DragDelay", "5000");
    ::WriteProfileStringA("windows", "DragMinDist", "2000");
    DragWithMouse(window, fromClient, ToScreen(window, fromClient));
    ::WriteProfileStringA("windows", "DragDelay", nullptr);
    ::WriteProfileStringA("windows", "DragMinDist", nullptr);
}

POINT LineCentre(HWND list, int index) {
    RECT rect{};
    ::SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    return CentreOf(rect);
}

void DialogTest::SetUp() {
    AfxGetApp()->m_strCmdLine.clear();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestSectionPath);
}

}  // namespace kivrel_test

// The GUI tests run with an application object of their own, whose settings
// live under a test key, and with OLE initialised as in the program.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    COleInitializer ole;
    CKivrelApp app;
    app.SetStartup(::GetModuleHandleA(nullptr), "");
    app.SetRegistryKey(kivrel_test::kTestRegistryKey);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    return RUN_ALL_TESTS();
}
