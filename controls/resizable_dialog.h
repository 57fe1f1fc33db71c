// A dialog that moves and stretches its controls by a layout table when it is
// resized, never gets smaller than its template, draws a size grip, gives its
// controls the system message font, and remembers its placement in the
// settings under an entry numbered per running copy of the program.
#pragma once

#include <string>

#include "dialog.h"
#include "gdi.h"

class CResizableDialog : public CDialog {
    DECLARE_DYNAMIC(CResizableDialog)
public:
    // nIDIcon 0: no icon. nInstance 0 or less: count the running copies.
    CResizableDialog(UINT nIDTemplate, UINT nIDIcon, int nInstance, CWnd* pParent = nullptr);
    ~CResizableDialog() override;

    // Four groups: widened, moved right, made taller, moved down by the change
    // of the client size. FALSE when the counts add up to 124 or more.
    BOOL SetControlLayout(int nWiden, const int* pWiden, int nMoveRight, const int* pMoveRight,
                          int nHeighten, const int* pHeighten, int nMoveDown, const int* pMoveDown);
    // Section and entry are string resources; the entry gets the instance number.
    BOOL LoadPlacement(UINT nIDSection, UINT nIDEntry);
    BOOL SavePlacement(UINT nIDSection, UINT nIDEntry);
    virtual BOOL ReadPlacement(const char* section, const char* entry);
    virtual BOOL WritePlacement(const char* section, const char* entry);

    int GetInstance() const { return m_nInstance; }
    // Running processes of this program's executable, this one included.
    static int CountRunningInstances();

    void UpdateControlFont();
    static void AdjustEditMargins(HWND hWndControl);

    BOOL OnInitDialog() override;

protected:
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSize(UINT nType, int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* pInfo);
    void OnSettingChange(UINT uFlags, LPCSTR lpszSection);

    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    CRect m_rcInitial;
    CRect m_rcGrip;
    int m_cyClient = 0;
    int m_cxClient = 0;
    int m_nLayout[128] = {};
    BOOL m_bResizeX = FALSE;
    BOOL m_bResizeY = FALSE;
    int m_nInstance;
    BOOL m_bLayoutSet = FALSE;
    CFont m_font;

    DECLARE_MESSAGE_MAP()

private:
    BOOL PlacementNames(UINT nIDSection, UINT nIDEntry, std::string& section,
                        std::string& entry) const;
    void ResizeGroup(const int* pGroup, int dx, int dy, bool bMove);
};
