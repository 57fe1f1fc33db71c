#include "format_enumerator.h"

CFormatEnumerator* CFormatEnumerator::Create(std::vector<FORMATETC> formats, size_t next) {
    return new CFormatEnumerator(std::move(formats), next);
}

HRESULT STDMETHODCALLTYPE CFormatEnumerator::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumFORMATETC) {
        *ppv = static_cast<IEnumFORMATETC*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CFormatEnumerator::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_nRef));
}

ULONG STDMETHODCALLTYPE CFormatEnumerator::Release() {
    const LONG left = ::InterlockedDecrement(&m_nRef);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE CFormatEnumerator::Next(ULONG celt, FORMATETC* rgelt,
                                                  ULONG* pceltFetched) {
    if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) return E_POINTER;
    ULONG fetched = 0;
    while (fetched < celt && m_nNext < m_formats.size()) rgelt[fetched++] = m_formats[m_nNext++];
    if (pceltFetched != nullptr) *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CFormatEnumerator::Skip(ULONG celt) {
    const size_t left = m_formats.size() - m_nNext;
    if (celt > left) {
        m_nNext = m_formats.size();
        return S_FALSE;
    }
    m_nNext += celt;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFormatEnumerator::Reset() {
    m_nNext = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFormatEnumerator::Clone(IEnumFORMATETC** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = Create(m_formats, m_nNext);
    return S_OK;
}
