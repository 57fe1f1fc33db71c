// The data of a drag as a drop target sees it: another program's data object,
// asked whether a format is there and fetched only in the storage kinds we
// ask for.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include "com_ptr.h"
#include "stg_medium.h"

class COleDataObject {
public:
    // Holds a reference of its own to `pDataObject` until Release.
    void Attach(IDataObject* pDataObject) {
        m_pDataObject = CComRef<IDataObject>::Share(pDataObject);
    }
    void Release() { m_pDataObject.Reset(); }
    IDataObject* GetIDataObject() const { return m_pDataObject.Get(); }

    // Whether `cf` is offered in one of the storage kinds `tymed`.
    BOOL IsDataAvailable(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL) const;
    // Fetches `cf` in one of the kinds `tymed`; FALSE unless a medium of one of
    // those kinds, with something in it, arrived.
    BOOL GetData(CLIPFORMAT cf, CStgMedium& medium, DWORD tymed = TYMED_HGLOBAL) const;

private:
    CComRef<IDataObject> m_pDataObject;
};
