#include "ole_data_object.h"

namespace {
FORMATETC FormatOf(CLIPFORMAT cf, DWORD tymed) {
    return FORMATETC{cf, nullptr, DVASPECT_CONTENT, -1, tymed};
}
}  // namespace

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT cf, DWORD tymed) const {
    if (!m_pDataObject) return FALSE;
    FORMATETC format = FormatOf(cf, tymed);
    return m_pDataObject->QueryGetData(&format) == S_OK;
}

BOOL COleDataObject::GetData(CLIPFORMAT cf, CStgMedium& medium, DWORD tymed) const {
    medium.Release();
    if (!m_pDataObject) return FALSE;
    FORMATETC format = FormatOf(cf, tymed);
    if (FAILED(m_pDataObject->GetData(&format, medium.Put()))) {
        medium.Abandon();
        return FALSE;
    }
    const STGMEDIUM& got = medium.Get();
    // A kind we did not ask for, more than one kind, or an empty one is
    // released unread.
    if ((got.tymed & tymed) == 0 || (got.tymed & (got.tymed - 1)) != 0 ||
        (got.tymed == TYMED_HGLOBAL && got.hGlobal == nullptr) ||
        (got.tymed == TYMED_ISTREAM && got.pstm == nullptr)) {
        medium.Release();
        return FALSE;
    }
    return TRUE;
}
