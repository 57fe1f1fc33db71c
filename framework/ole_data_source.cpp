#include "ole_data_source.h"

#include "format_enumerator.h"
#include "global_memory.h"
#include "ole_drop_source.h"

CComRef<COleDataSource> COleDataSource::Create() {
    return CComRef<COleDataSource>::Adopt(new COleDataSource());
}

BOOL COleDataSource::CacheGlobalData(CLIPFORMAT cf, CGlobalHandle& block) {
    if (cf == 0 || !block) return FALSE;
    for (Entry& entry : m_entries) {
        if (entry.cf == cf) {
            entry.block = std::move(block);
            return TRUE;
        }
    }
    m_entries.push_back(Entry{cf, std::move(block)});
    return TRUE;
}

BOOL COleDataSource::HasFormat(CLIPFORMAT cf) const {
    for (const Entry& entry : m_entries) {
        if (entry.cf == cf) return TRUE;
    }
    return FALSE;
}

void COleDataSource::Empty() { m_entries.clear(); }

DROPEFFECT COleDataSource::DoDragDrop(DWORD dwEffects, DWORD nButton) {
    CComRef<COleDropSource> source = COleDropSource::Create(nButton);
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT hr = ::DoDragDrop(this, source.Get(), dwEffects, &effect);
    return hr == DRAGDROP_S_DROP ? (effect & dwEffects) : DROPEFFECT_NONE;
}

const COleDataSource::Entry* COleDataSource::Find(const FORMATETC* pFormat) const {
    if (pFormat == nullptr || (pFormat->tymed & TYMED_HGLOBAL) == 0 ||
        pFormat->dwAspect != DVASPECT_CONTENT) {
        return nullptr;
    }
    for (const Entry& entry : m_entries) {
        if (entry.cf == pFormat->cfFormat) return &entry;
    }
    return nullptr;
}

HRESULT STDMETHODCALLTYPE COleDataSource::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
        *ppv = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE COleDataSource::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_nRef));
}

ULONG STDMETHODCALLTYPE COleDataSource::Release() {
    const LONG left = ::InterlockedDecrement(&m_nRef);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE COleDataSource::GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) {
    if (pMedium == nullptr) return E_POINTER;
    *pMedium = STGMEDIUM{};
    const Entry* entry = Find(pFormat);
    if (entry == nullptr) return DV_E_FORMATETC;
    // A copy, so that whoever takes it may free it whenever it likes.
    CGlobalHandle copy = CopyGlobal(entry->block.Get());
    if (!copy) return E_OUTOFMEMORY;
    pMedium->tymed = TYMED_HGLOBAL;
    pMedium->hGlobal = copy.Detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleDataSource::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE COleDataSource::QueryGetData(FORMATETC* pFormat) {
    return Find(pFormat) != nullptr ? S_OK : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE COleDataSource::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pOut) {
    if (pOut != nullptr) pOut->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleDataSource::SetData(FORMATETC*, STGMEDIUM*, BOOL) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleDataSource::EnumFormatEtc(DWORD dwDirection,
                                                        IEnumFORMATETC** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    if (dwDirection != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> formats;
    for (const Entry& entry : m_entries) {
        formats.push_back(FORMATETC{entry.cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
    }
    *ppEnum = CFormatEnumerator::Create(std::move(formats));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleDataSource::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE COleDataSource::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }

HRESULT STDMETHODCALLTYPE COleDataSource::EnumDAdvise(IEnumSTATDATA**) {
    return OLE_E_ADVISENOTSUPPORTED;
}
