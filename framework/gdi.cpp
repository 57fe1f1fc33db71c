#include "gdi.h"

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)

BOOL CGdiObject::Attach(HGDIOBJ hObject) {
    if (hObject == nullptr) return FALSE;
    DeleteObject();
    m_hObject = hObject;
    m_bOwned = true;
    return TRUE;
}

BOOL CGdiObject::AttachShared(HGDIOBJ hObject) {
    if (hObject == nullptr) return FALSE;
    DeleteObject();
    m_hObject = hObject;
    m_bOwned = false;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ hObject = m_hObject;
    m_hObject = nullptr;
    return hObject;
}

BOOL CGdiObject::DeleteObject() {
    if (m_hObject == nullptr) return FALSE;
    const bool bOwned = m_bOwned;
    HGDIOBJ hObject = Detach();
    return bOwned ? ::DeleteObject(hObject) : TRUE;
}
