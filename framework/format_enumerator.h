// A list of formats as IEnumFORMATETC, for the data source's EnumFormatEtc.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <vector>

class CFormatEnumerator : public IEnumFORMATETC {
public:
    // A new enumerator with one reference, the caller's.
    static CFormatEnumerator* Create(std::vector<FORMATETC> formats, size_t next = 0);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** ppEnum) override;

private:
    CFormatEnumerator(std::vector<FORMATETC> formats, size_t next)
        : m_formats(std::move(formats)), m_nNext(next) {}
    virtual ~CFormatEnumerator() = default;

    LONG m_nRef = 1;
    std::vector<FORMATETC> m_formats;
    size_t m_nNext;
};
