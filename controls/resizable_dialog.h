// A dialog that moves and stretches its controls by a layout table when it is
// resized, never gets smaller than its template, draws a size grip, gives its
// controls the system message font, and remembers its placement in the
// settings under an entry numbered per running copy of the program.
#pragma once

#include <string>

#include "dialog.h"
#include "gdi.h"
#include "handle.h"

// One group of the layout: control ids, counted by the array that holds them.
class CLayoutGroup {
public:
    CLayoutGroup() = default;  // no control
    template <size_t N>
    CLayoutGroup(const int (&ids)[N]) : m_pIds(ids), m_nCount(static_cast<int>(N)) {}

    const int* begin() const { return m_pIds; }
    const int* end() const { return m_pIds + m_nCount; }
    int size() const { return m_nCount; }

private:
    const int* m_pIds = nullptr;
    int m_nCount = 0;
};

class CResizableDialog : public CDialog {
    DECLARE_DYNAMIC(CResizableDialog)
public:
    // nIDIcon 0: no icon. nInstance 0 or less: count the running copies.
    CResizableDialog(UINT nIDTemplate, UINT nIDIcon, int nInstance, CWnd* pParent = nullptr);
    ~CResizableDialog() override;

    // Four groups: widened, moved right, made taller, moved down by the change
    // of the client size. FALSE when the counts add up to 124 or more.
    BOOL SetControlLayout(CLayoutGroup widen, CLayoutGroup moveRight, CLayoutGroup heighten,
                          CLayoutGroup moveDown);
    // Section and entry are string resources; the entry gets the instance number.
    BOOL LoadPlacement(UINT nIDSection, UINT nIDEntry);
    BOOL SavePlacement(UINT nIDSection, UINT nIDEntry);
    virtual BOOL ReadPlacement(const char* section, const char* entry);
    virtual BOOL WritePlacement(const char* section, const char* entry);

    int GetInstance() const { return m_nInstance; }
    // The lowest instance number no running copy of this program's
    // executable holds; `slot` then holds it until it is released. 0, with
    // nothing held, when the platform cannot keep the numbers apart.
    static int TakeInstanceSlot(CKernelHandle& slot);

    void UpdateControlFont();
    static void AdjustEditMargins(HWND hWndControl);

    BOOL OnInitDialog() override;

protected:
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSize(UINT nType, int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* pInfo);
    void OnSettingChange(UINT uFlags, LPCSTR lpszSection);
    LRESULT OnNcHitTest(CPoint point);

    CIconHandle m_hIcon;
    CIconHandle m_hSmallIcon;
    CRect m_rcInitial;
    CRect m_rcGrip;
    int m_cyClient = 0;
    int m_cxClient = 0;
    int m_nLayout[128] = {};
    BOOL m_bResizeX = FALSE;
    BOOL m_bResizeY = FALSE;
    CKernelHandle m_instanceSlot;  // held while this copy uses its number
    int m_nInstance;
    BOOL m_bLayoutSet = FALSE;
    CFont m_font;

    DECLARE_MESSAGE_MAP()

private:
    BOOL PlacementNames(UINT nIDSection, UINT nIDEntry, std::string& section,
                        std::string& entry) const;
    void ResizeGroup(const int* pGroup, int dx, int dy, bool bMove);
    // Where the size grip goes: a caption-high square in the client corner.
    CRect GripRect() const;
};
