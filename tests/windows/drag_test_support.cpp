#include "drag_test_support.h"

#include <algorithm>
#include <cstring>

#include "drop_effect.h"
#include "test_support.h"

namespace kivrel_test {

namespace {
class CTestStream : public CTestUnknown<IStream> {
public:
    CTestStream(std::string bytes, StreamKind kind, size_t* pRead)
        : CTestUnknown(IID_IStream), m_bytes(std::move(bytes)), m_kind(kind), m_pRead(pRead) {}

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
        *m_pRead += got;
        if (pcbRead != nullptr) *pcbRead = m_kind == StreamKind::kOversized ? got + 1000 : got;
        return got < cb ? S_FALSE : S_OK;
    }
    // clang-format off
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
    std::string m_bytes;
    size_t m_nAt = 0;
    StreamKind m_kind;
    size_t* m_pRead;
};
}  // namespace

HRESULT STDMETHODCALLTYPE CTestDataObject::GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) {
    const auto found = m_entries.find(pFormat->cfFormat);
    if (found == m_entries.end()) return DV_E_FORMATETC;
    const Entry& entry = found->second;
    *pMedium = STGMEDIUM{};
    pMedium->tymed = entry.delivered;
    if (entry.delivered == TYMED_ISTREAM) {
        pMedium->pstm = new CTestStream(entry.bytes, entry.stream, &m_nStreamBytes);
        return S_OK;
    }
    pMedium->hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, entry.bytes.size());
    if (pMedium->hGlobal == nullptr) return E_OUTOFMEMORY;
    std::memcpy(::GlobalLock(pMedium->hGlobal), entry.bytes.data(), entry.bytes.size());
    ::GlobalUnlock(pMedium->hGlobal);
    return S_OK;
}

class CRecordingWindow::CTarget : public CTestUnknown<IDropTarget> {
public:
    CTarget(DropRecord& record, DWORD answer)
        : CTestUnknown(IID_IDropTarget), m_record(record), m_nAnswer(answer) {}
    STDMETHOD(DragEnter)(IDataObject*, DWORD, POINTL, DWORD* pdwEffect) override {
        m_record.allowedAtEnter = *pdwEffect;
        return DragOver(0, POINTL{}, pdwEffect);
    }
    STDMETHOD(DragOver)(DWORD, POINTL, DWORD* pdwEffect) override {
        *pdwEffect = FitDropEffect(m_nAnswer, m_record.allowedAtEnter);
        return S_OK;
    }
    STDMETHOD(DragLeave)() override { return S_OK; }
    STDMETHOD(Drop)(IDataObject* pData, DWORD, POINTL, DWORD* pdwEffect) override {
        ++m_record.drops;
        m_record.allowedAtDrop = *pdwEffect;
        IEnumFORMATETC* formats = nullptr;
        if (SUCCEEDED(pData->EnumFormatEtc(DATADIR_GET, &formats)) && formats != nullptr) {
            FORMATETC format;
            while (formats->Next(1, &format, nullptr) == S_OK) {
                STGMEDIUM medium{};
                if (FAILED(pData->GetData(&format, &medium))) continue;
                if (medium.tymed == TYMED_HGLOBAL) {
                    const char* bytes = static_cast<const char*>(::GlobalLock(medium.hGlobal));
                    m_record.data[format.cfFormat] =
                        std::string(bytes, ::GlobalSize(medium.hGlobal));
                    ::GlobalUnlock(medium.hGlobal);
                }
                ::ReleaseStgMedium(&medium);
            }
            formats->Release();
        }
        *pdwEffect = FitDropEffect(m_nAnswer, m_record.allowedAtDrop);
        return S_OK;
    }

private:
    DropRecord& m_record;
    DWORD m_nAnswer;
};

CRecordingWindow::CRecordingWindow(const RECT& screen, DWORD answer)
    : m_hWnd(TestWindow(WS_POPUP | WS_BORDER, screen)), m_pTarget(new CTarget(m_record, answer)) {
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::RegisterDragDrop(m_hWnd, m_pTarget);
    ::UpdateWindow(m_hWnd);
}

CRecordingWindow::~CRecordingWindow() {
    ::RevokeDragDrop(m_hWnd);
    ::DestroyWindow(m_hWnd);
    m_pTarget->Release();
}

POINT CRecordingWindow::Centre() const { return CentreOf(m_hWnd); }

namespace {
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

// Presses at `fromClient`, keeps the pointer at `to` for `ticks` ticks of a
// script, then releases the button.
void RunPress(HWND window, POINT fromClient, POINT to, int ticks, bool ctrl) {
    POINT from = fromClient;
    ::ClientToScreen(window, &from);
    MoveCursor(from);
    PumpMessages(50);  // moves still queued would count as part of the press
    SetButtons(true, ctrl);
    bool released = false;
    const Step hold = [&, ticks]() mutable {
        MoveCursor(to);  // the display may put the pointer back once after a move
        if (--ticks > 0) return false;
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
}  // namespace

void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl) {
    RunPress(window, fromClient, toScreen, 5, ctrl);
}

void PressWithMouse(HWND window, POINT fromClient) {
    ::WriteProfileStringA("windows", "DragDelay", "5000");
    ::WriteProfileStringA("windows", "DragMinDist", "2000");
    POINT at = fromClient;
    ::ClientToScreen(window, &at);
    RunPress(window, fromClient, at, 2, false);
    ::WriteProfileStringA("windows", "DragDelay", nullptr);
    ::WriteProfileStringA("windows", "DragMinDist", nullptr);
}

POINT LineCentre(HWND list, int index) {
    RECT rect{};
    ::SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

}  // namespace kivrel_test
