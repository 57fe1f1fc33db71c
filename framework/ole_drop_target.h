// A window's drop target. The platform calls the IDropTarget face, which
// keeps the drag's data object from the drag's entry until its drop or
// leave, hands positions over in the window's client coordinates, and fits
// every effect the target wants to what the drag's source allows. A derived
// target overrides the On... operations.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include "com_ptr.h"
#include "drop_effect.h"
#include "ole_data_object.h"
#include "types.h"

class CWnd;

class COleDropTarget {
public:
    COleDropTarget();
    virtual ~COleDropTarget();
    COleDropTarget(const COleDropTarget&) = delete;
    COleDropTarget& operator=(const COleDropTarget&) = delete;

    // Registers for the window (RegisterDragDrop); FALSE on failure.
    BOOL Register(CWnd* pWnd);
    // Takes the registration back; nothing happens when there is none.
    virtual void Revoke();
    // What the platform calls; for callers inside this process as well.
    IDropTarget* GetInterface();

    virtual DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                                   CPoint point);
    virtual DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                                  CPoint point);
    // Called when the drop lands; FALSE reports no effect to the source.
    virtual BOOL OnDrop(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropEffect,
                        CPoint point);
    // Called first; a target that decides the effect itself returns it, the
    // base returns (DROPEFFECT)-1 so that OnDrop runs.
    virtual DROPEFFECT OnDropEx(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropDefault,
                                DROPEFFECT dropList, CPoint point);
    virtual void OnDragLeave(CWnd* pWnd);

private:
    class CSink;
    friend class CSink;

    HRESULT DragEnter(IDataObject* pDataObject, DWORD dwKeyState, POINTL pt, DWORD* pdwEffect);
    HRESULT DragOver(DWORD dwKeyState, POINTL pt, DWORD* pdwEffect);
    HRESULT DragLeave();
    HRESULT Drop(IDataObject* pDataObject, DWORD dwKeyState, POINTL pt, DWORD* pdwEffect);
    CPoint ClientPoint(POINTL pt) const;

    CComRef<CSink> m_pSink;
    CWnd* m_pWnd = nullptr;
    HWND m_hWndRegistered = nullptr;
    COleDataObject m_dataObject;
};
