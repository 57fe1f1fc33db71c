// The data of a drag that starts here: a reference-counted data object that
// holds one global memory block per format and hands out copies of them.
// Setting data from outside is not supported.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <vector>

#include "com_ptr.h"
#include "drop_effect.h"
#include "handle.h"

class COleDataSource : public IDataObject {
public:
    // A new, empty data source with one reference, the caller's.
    static CComRef<COleDataSource> Create();

    // Offers `block` as `cf`, replacing an earlier block of that format. The
    // source owns the block once this returns TRUE; on FALSE the caller still
    // does.
    BOOL CacheGlobalData(CLIPFORMAT cf, CGlobalHandle& block);
    BOOL HasFormat(CLIPFORMAT cf) const;
    // Frees every block.
    void Empty();
    // Runs the platform's drag loop now, with the mouse button `nButton`
    // (MK_LBUTTON or MK_RBUTTON) held; the effect of the drop, or
    // DROPEFFECT_NONE when the drag was cancelled.
    DROPEFFECT DoDragDrop(DWORD dwEffects, DWORD nButton = MK_LBUTTON);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDataObject
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pFormat, STGMEDIUM* pMedium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pFormat) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* pIn, FORMATETC* pOut) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pFormat, STGMEDIUM* pMedium,
                                      BOOL fRelease) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppEnum) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pFormat, DWORD advf, IAdviseSink* pSink,
                                      DWORD* pdwConnection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppEnum) override;

private:
    COleDataSource() = default;
    virtual ~COleDataSource() = default;
    struct Entry {
        CLIPFORMAT cf;
        CGlobalHandle block;
    };
    const Entry* Find(const FORMATETC* pFormat) const;

    LONG m_nRef = 1;
    std::vector<Entry> m_entries;
};
