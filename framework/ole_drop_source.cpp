#include "ole_drop_source.h"

CComRef<COleDropSource> COleDropSource::Create(DWORD nButton) {
    return CComRef<COleDropSource>::Adopt(new COleDropSource(nButton));
}

HRESULT STDMETHODCALLTYPE COleDropSource::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDropSource) {
        *ppv = static_cast<IDropSource*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE COleDropSource::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_nRef));
}

ULONG STDMETHODCALLTYPE COleDropSource::Release() {
    const LONG left = ::InterlockedDecrement(&m_nRef);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE COleDropSource::QueryContinueDrag(BOOL fEscapePressed,
                                                            DWORD grfKeyState) {
    const DWORD other = m_nButton == MK_LBUTTON ? MK_RBUTTON : MK_LBUTTON;
    if (fEscapePressed || (grfKeyState & other) != 0) return DRAGDROP_S_CANCEL;
    if ((grfKeyState & m_nButton) == 0) return DRAGDROP_S_DROP;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleDropSource::GiveFeedback(DWORD) {
    return DRAGDROP_S_USEDEFAULTCURSORS;
}
