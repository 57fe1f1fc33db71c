#include "drag_test_support.h"

#include <algorithm>
#include <cstring>

#include "global_memory.h"
#include "ole_data_source.h"
#include "test_support.h"

namespace kivrel_test {

namespace {
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

DropResult DropData(IDropTarget* target, POINT screen, DWORD keys, DWORD allowed, CLIPFORMAT cf,
                    const std::string& bytes, StreamKind stream) {
    CStreamData streamed(cf, bytes, stream);
    CComRef<COleDataSource> source = COleDataSource::Create();
    CGlobalHandle block = AllocateGlobalCopy(bytes.data(), bytes.size());
    source->CacheGlobalData(cf, block);
    IDataObject* data =
        stream == StreamKind::kNone ? static_cast<IDataObject*>(source.Get()) : &streamed;
    DWORD effect = allowed;
    const POINTL at{screen.x, screen.y};
    target->DragEnter(data, keys, at, &effect);
    if (effect == DROPEFFECT_NONE) return target->DragLeave(), DropResult{effect, 0};
    effect = allowed;
    target->Drop(data, keys, at, &effect);
    return {effect, streamed.m_nRead};
}

void DragWithMouse(HWND window, POINT fromClient, POINT toScreen, bool ctrl,
                   const std::function<void()>& midway) {
    POINT from = fromClient;
    ::ClientToScreen(window, &from);
    MoveCursor(from);
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
    POINT at = fromClient;
    ::ClientToScreen(window, &at);
    DragWithMouse(window, fromClient, at);
    ::WriteProfileStringA("windows", "DragDelay", nullptr);
    ::WriteProfileStringA("windows", "DragMinDist", nullptr);
}

POINT LineCentre(HWND list, int index) {
    RECT rect{};
    ::SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

}  // namespace kivrel_test
