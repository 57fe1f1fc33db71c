#include "ole_drop_target.h"

#include "wnd.h"

// The COM face: reference-counted on its own, so that the platform may hold
// it a little longer than the target lives; once cut off it refuses all.
class COleDropTarget::CSink : public IDropTarget {
public:
    explicit CSink(COleDropTarget* pOwner) : m_pOwner(pOwner) {}
    void CutOff() { m_pOwner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *ppv = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(::InterlockedIncrement(&m_nRef));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&m_nRef);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* pDataObject, DWORD dwKeyState, POINTL pt,
                                        DWORD* pdwEffect) override {
        if (pdwEffect == nullptr) return E_INVALIDARG;
        if (m_pOwner == nullptr) return Refuse(pdwEffect);
        return m_pOwner->DragEnter(pDataObject, dwKeyState, pt, pdwEffect);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD dwKeyState, POINTL pt, DWORD* pdwEffect) override {
        if (pdwEffect == nullptr) return E_INVALIDARG;
        if (m_pOwner == nullptr) return Refuse(pdwEffect);
        return m_pOwner->DragOver(dwKeyState, pt, pdwEffect);
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        return m_pOwner != nullptr ? m_pOwner->DragLeave() : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* pDataObject, DWORD dwKeyState, POINTL pt,
                                   DWORD* pdwEffect) override {
        if (pdwEffect == nullptr) return E_INVALIDARG;
        if (m_pOwner == nullptr) return Refuse(pdwEffect);
        return m_pOwner->Drop(pDataObject, dwKeyState, pt, pdwEffect);
    }

private:
    virtual ~CSink() = default;
    static HRESULT Refuse(DWORD* pdwEffect) {
        *pdwEffect = DROPEFFECT_NONE;
        return S_OK;
    }

    LONG m_nRef = 1;
    COleDropTarget* m_pOwner;
};

COleDropTarget::COleDropTarget() : m_pSink(CComRef<CSink>::Adopt(new CSink(this))) {}

COleDropTarget::~COleDropTarget() {
    COleDropTarget::Revoke();
    m_pSink->CutOff();
}

IDropTarget* COleDropTarget::GetInterface() { return m_pSink.Get(); }

BOOL COleDropTarget::Register(CWnd* pWnd) {
    if (pWnd == nullptr || m_hWndRegistered != nullptr || !pWnd->IsWindow()) return FALSE;
    if (FAILED(::RegisterDragDrop(pWnd->m_hWnd, m_pSink.Get()))) return FALSE;
    m_pWnd = pWnd;
    m_hWndRegistered = pWnd->m_hWnd;
    return TRUE;
}

void COleDropTarget::Revoke() {
    if (m_hWndRegistered == nullptr) return;
    ::RevokeDragDrop(m_hWndRegistered);
    m_hWndRegistered = nullptr;
    m_dataObject.Release();
}

DROPEFFECT COleDropTarget::OnDragEnter(CWnd*, COleDataObject*, DWORD, CPoint) {
    return DROPEFFECT_NONE;
}

DROPEFFECT COleDropTarget::OnDragOver(CWnd*, COleDataObject*, DWORD, CPoint) {
    return DROPEFFECT_NONE;
}

BOOL COleDropTarget::OnDrop(CWnd*, COleDataObject*, DROPEFFECT, CPoint) { return FALSE; }

DROPEFFECT COleDropTarget::OnDropEx(CWnd*, COleDataObject*, DROPEFFECT, DROPEFFECT, CPoint) {
    return static_cast<DROPEFFECT>(-1);
}

void COleDropTarget::OnDragLeave(CWnd*) {}

CPoint COleDropTarget::ClientPoint(POINTL pt) const {
    POINT point{pt.x, pt.y};
    if (m_hWndRegistered != nullptr) ::ScreenToClient(m_hWndRegistered, &point);
    return CPoint(point.x, point.y);
}

HRESULT COleDropTarget::DragEnter(IDataObject* pDataObject, DWORD dwKeyState, POINTL pt,
                                  DWORD* pdwEffect) {
    const DWORD allowed = *pdwEffect;
    *pdwEffect = DROPEFFECT_NONE;
    if (m_pWnd == nullptr || pDataObject == nullptr) return S_OK;
    m_dataObject.Attach(pDataObject);
    *pdwEffect =
        FitDropEffect(OnDragEnter(m_pWnd, &m_dataObject, dwKeyState, ClientPoint(pt)), allowed);
    return S_OK;
}

HRESULT COleDropTarget::DragOver(DWORD dwKeyState, POINTL pt, DWORD* pdwEffect) {
    const DWORD allowed = *pdwEffect;
    *pdwEffect = DROPEFFECT_NONE;
    if (m_pWnd == nullptr || m_dataObject.GetIDataObject() == nullptr) return S_OK;
    *pdwEffect =
        FitDropEffect(OnDragOver(m_pWnd, &m_dataObject, dwKeyState, ClientPoint(pt)), allowed);
    return S_OK;
}

HRESULT COleDropTarget::DragLeave() {
    if (m_pWnd != nullptr && m_dataObject.GetIDataObject() != nullptr) OnDragLeave(m_pWnd);
    m_dataObject.Release();
    return S_OK;
}

HRESULT COleDropTarget::Drop(IDataObject* pDataObject, DWORD dwKeyState, POINTL pt,
                             DWORD* pdwEffect) {
    const DWORD allowed = *pdwEffect;
    *pdwEffect = DROPEFFECT_NONE;
    if (m_pWnd == nullptr || pDataObject == nullptr) {
        m_dataObject.Release();
        return S_OK;
    }
    m_dataObject.Attach(pDataObject);
    const CPoint point = ClientPoint(pt);
    // The drop point is tested once more before anything is dropped.
    const DROPEFFECT effect =
        FitDropEffect(OnDragOver(m_pWnd, &m_dataObject, dwKeyState, point), allowed);
    if (effect == DROPEFFECT_NONE) {
        OnDragLeave(m_pWnd);
    } else {
        DROPEFFECT done = OnDropEx(m_pWnd, &m_dataObject, effect, allowed, point);
        if (done == static_cast<DROPEFFECT>(-1)) {
            done = OnDrop(m_pWnd, &m_dataObject, effect, point) ? effect : DROPEFFECT_NONE;
        }
        *pdwEffect = done & allowed;
    }
    m_dataObject.Release();
    return S_OK;
}
