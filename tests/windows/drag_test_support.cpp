#include "drag_test_support.h"

#include <cstdio>
#include <cstring>

#include "drop_effect.h"
#include "test_support.h"

namespace kivrel_test {

namespace {

class CTestStream : public IStream {
public:
    CTestStream(std::string bytes, StreamKind kind, size_t* pRead)
        : m_bytes(std::move(bytes)), m_kind(kind), m_pRead(pRead) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRef; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_nRef;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        ULONG got = 0;
        HRESULT hr = S_OK;
        switch (m_kind) {
            case StreamKind::kFailing:
                // One whole chunk, then an error.
                if (m_nAt > 0) return E_FAIL;
                std::memset(pv, 'p', cb);
                got = cb;
                m_nAt = cb;
                break;
            case StreamKind::kPlain:
                got = static_cast<ULONG>(std::min<size_t>(cb, m_bytes.size() - m_nAt));
                std::memcpy(pv, m_bytes.data() + m_nAt, got);
                m_nAt += got;
                if (got < cb) hr = S_FALSE;
                break;
            case StreamKind::kEndless:
            case StreamKind::kOversized:
                std::memset(pv, 'x', cb);
                got = cb;
                break;
        }
        *m_pRead += got;
        if (pcbRead != nullptr) *pcbRead = m_kind == StreamKind::kOversized ? got + 1000 : got;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    virtual ~CTestStream() = default;
    ULONG m_nRef = 1;
    std::string m_bytes;
    size_t m_nAt = 0;
    StreamKind m_kind;
    size_t* m_pRead;
};

}  // namespace

CTestDataObject* CTestDataObject::Create() { return new CTestDataObject(); }

void CTestDataObject::Offer(CLIPFORMAT cf, const std::string& bytes, DWORD delivered,
                            StreamKind stream) {
    m_entries[cf] = Entry{bytes, delivered, stream};
}

HRESULT STDMETHODCALLTYPE CTestDataObject::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
        *ppv = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTestDataObject::AddRef() { return static_cast<ULONG>(++m_nRef); }

ULONG STDMETHODCALLTYPE CTestDataObject::Release() {
    const LONG left = --m_nRef;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE CTestDataObject::QueryGetData(FORMATETC* pFormat) {
    return m_entries.count(pFormat->cfFormat) != 0 ? S_OK : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE CTestDataObject::GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) {
    const auto found = m_entries.find(pFormat->cfFormat);
    if (found == m_entries.end()) return DV_E_FORMATETC;
    const Entry& entry = found->second;
    *pMedium = STGMEDIUM{};
    if (entry.delivered == TYMED_ISTREAM) {
        pMedium->tymed = TYMED_ISTREAM;
        pMedium->pstm = new CTestStream(entry.bytes, entry.stream, &m_nStreamBytes);
        return S_OK;
    }
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, entry.bytes.size());
    if (block == nullptr) return E_OUTOFMEMORY;
    std::memcpy(::GlobalLock(block), entry.bytes.data(), entry.bytes.size());
    ::GlobalUnlock(block);
    pMedium->tymed = TYMED_HGLOBAL;
    pMedium->hGlobal = block;
    return S_OK;
}

class CRecordingWindow::CTarget : public IDropTarget {
public:
    CTarget(DropRecord& record, DWORD answer) : m_record(record), m_nAnswer(answer) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *ppv = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRef; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_nRef;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* pdwEffect) override {
        ++m_record.enters;
        m_record.allowedAtEnter = *pdwEffect;
        *pdwEffect = FitDropEffect(m_nAnswer, m_record.allowedAtEnter);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* pdwEffect) override {
        // As a file manager would: the wanted effect fitted to what is allowed.
        *pdwEffect = FitDropEffect(m_nAnswer, m_record.allowedAtEnter);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* pData, DWORD, POINTL, DWORD* pdwEffect) override {
        ++m_record.drops;
        m_record.allowedAtDrop = *pdwEffect;
        IEnumFORMATETC* formats = nullptr;
        if (SUCCEEDED(pData->EnumFormatEtc(DATADIR_GET, &formats)) && formats != nullptr) {
            FORMATETC format;
            while (formats->Next(1, &format, nullptr) == S_OK) {
                m_record.formats.push_back(format.cfFormat);
                STGMEDIUM medium{};
                if (SUCCEEDED(pData->GetData(&format, &medium))) {
                    if (medium.tymed == TYMED_HGLOBAL) {
                        const char* bytes = static_cast<const char*>(::GlobalLock(medium.hGlobal));
                        m_record.data[format.cfFormat] =
                            std::string(bytes, ::GlobalSize(medium.hGlobal));
                        ::GlobalUnlock(medium.hGlobal);
                    }
                    ::ReleaseStgMedium(&medium);
                }
            }
            formats->Release();
        }
        *pdwEffect = FitDropEffect(m_nAnswer, m_record.allowedAtDrop);
        return S_OK;
    }

private:
    virtual ~CTarget() = default;
    ULONG m_nRef = 1;
    DropRecord& m_record;
    DWORD m_nAnswer;
};

CRecordingWindow::CRecordingWindow(const RECT& screen, DWORD answer) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KivrelDropRecorder";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    ::RegisterClassA(&windowClass);
    m_hWnd = ::CreateWindowExA(WS_EX_TOPMOST, "KivrelDropRecorder", "drop here",
                               WS_POPUP | WS_VISIBLE | WS_BORDER, screen.left, screen.top,
                               screen.right - screen.left, screen.bottom - screen.top, nullptr,
                               nullptr, windowClass.hInstance, nullptr);
    m_pTarget = new CTarget(m_record, answer);
    ::RegisterDragDrop(m_hWnd, m_pTarget);
    ::UpdateWindow(m_hWnd);
}

CRecordingWindow::~CRecordingWindow() {
    ::RevokeDragDrop(m_hWnd);
    ::DestroyWindow(m_hWnd);
    m_pTarget->Release();
}

POINT CRecordingWindow::Centre() const {
    RECT rect;
    ::GetWindowRect(m_hWnd, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void MoveCursor(POINT to);

namespace {
struct Script {
    HWND window = nullptr;
    POINT to{};
    bool move = false;
    bool ctrl = false;
    DragEnd end = DragEnd::kDrop;
    int ticks = 0;
    int releaseTick = 0;
    UINT_PTR timer = 0;
};
Script g_script;

void SetButtons(bool left, bool ctrl) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_LBUTTON] = left ? 0x80 : 0;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

void CALLBACK ScriptTick(HWND, UINT, UINT_PTR, DWORD) {
    ++g_script.ticks;
    // Every tick: the display may put the pointer back once after a move.
    if (g_script.move) MoveCursor(g_script.to);
    if (g_script.ticks < g_script.releaseTick) return;
    ::KillTimer(nullptr, g_script.timer);
    g_script.timer = 0;
    if (g_script.end == DragEnd::kEscape) {
        ::PostMessageA(g_script.window, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        SetButtons(false, g_script.ctrl);
    }
}

void RunScript(HWND window, POINT fromClient) {
    POINT from = fromClient;
    ::ClientToScreen(window, &from);
    MoveCursor(from);
    // Mouse moves still queued from before would count as part of the press.
    PumpMessages(50);
    SetButtons(true, g_script.ctrl);
    g_script.window = window;
    g_script.timer = ::SetTimer(nullptr, 0, 60, &ScriptTick);
    const WPARAM keys = MK_LBUTTON | (g_script.ctrl ? MK_CONTROL : 0);
    ::SendMessageA(window, WM_LBUTTONDOWN, keys, MAKELPARAM(fromClient.x, fromClient.y));
    // A press that started nothing: let the script finish.
    for (int i = 0; i < 100 && g_script.timer != 0; ++i) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        ::Sleep(10);
    }
    if (g_script.timer != 0) ::KillTimer(nullptr, g_script.timer);
    SetButtons(false, false);
    g_script = Script{};
}
}  // namespace

void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl, DragEnd end) {
    g_script = Script{};
    g_script.to = toScreen;
    g_script.move = true;
    g_script.ctrl = ctrl;
    g_script.end = end;
    g_script.releaseTick = 5;
    RunScript(window, fromClient);
}

void PressWithMouse(HWND window, POINT fromClient, DWORD holdMs) {
    g_script = Script{};
    // Kept where it is, should the display move it.
    g_script.to = fromClient;
    ::ClientToScreen(window, &g_script.to);
    g_script.move = true;
    g_script.releaseTick = static_cast<int>(holdMs / 60) + 1;
    RunScript(window, fromClient);
}

void MoveCursor(POINT to) {
    ::SetCursorPos(to.x, to.y);
    // The display confirms the move a little later.
    for (int i = 0; i < 50; ++i) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        POINT now;
        if (::GetCursorPos(&now) && now.x == to.x && now.y == to.y) return;
        ::Sleep(10);
    }
}

POINT LineCentre(HWND list, int index) {
    RECT rect{};
    ::SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

}  // namespace kivrel_test
