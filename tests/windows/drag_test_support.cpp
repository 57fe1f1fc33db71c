#include "drag_test_support.h"

#include <algorithm>
#include <cstring>

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

class CTestDataObject : public CTestUnknown<IDataObject> {
public:
    CTestDataObject(CLIPFORMAT cf, const std::string& bytes, DWORD delivered, StreamKind stream)
        : CTestUnknown(IID_IDataObject),
          m_cf(cf),
          m_bytes(bytes),
          m_nDelivered(delivered),
          m_stream(stream) {}
    ULONG References() const { return m_nRef; }
    size_t m_nStreamBytes = 0;

    STDMETHOD(GetData)(FORMATETC* pFormat, STGMEDIUM* pMedium) override {
        if (pFormat->cfFormat != m_cf) return DV_E_FORMATETC;
        *pMedium = STGMEDIUM{};
        pMedium->tymed = m_nDelivered;
        if (m_nDelivered == TYMED_ISTREAM) {
            pMedium->pstm = new CTestStream(m_bytes, m_stream, &m_nStreamBytes);
            return S_OK;
        }
        pMedium->hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, m_bytes.size());
        if (pMedium->hGlobal == nullptr) return E_OUTOFMEMORY;
        std::memcpy(::GlobalLock(pMedium->hGlobal), m_bytes.data(), m_bytes.size());
        ::GlobalUnlock(pMedium->hGlobal);
        return S_OK;
    }
    STDMETHOD(QueryGetData)(FORMATETC* pFormat) override {
        return pFormat->cfFormat == m_cf ? S_OK : DV_E_FORMATETC;
    }
    // clang-format off
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }
    // clang-format on

private:
    CLIPFORMAT m_cf;
    std::string m_bytes;
    DWORD m_nDelivered;
    StreamKind m_stream;
};
}  // namespace

DropResult DropData(IDropTarget* target, POINT screen, DWORD keys, DWORD allowed, CLIPFORMAT cf,
                    const std::string& bytes, DWORD delivered, StreamKind stream) {
    auto* data = new CTestDataObject(cf, bytes, delivered, stream);
    DWORD effect = allowed;
    target->DragEnter(data, keys, POINTL{screen.x, screen.y}, &effect);
    if (effect != DROPEFFECT_NONE) {
        effect = allowed;
        target->Drop(data, keys, POINTL{screen.x, screen.y}, &effect);
    } else {
        target->DragLeave();
    }
    const DropResult result{effect, data->m_nStreamBytes};
    EXPECT_EQ(data->References(), 1u);
    data->Release();
    return result;
}

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
