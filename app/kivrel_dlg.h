// The main dialog: the module and initial-directory fields, the Scan, Exit
// and Find... buttons, and the results list that the scan fills.
#pragma once

#include <memory>
#include <string>

#include "controls.h"
#include "editable_font.h"
#include "ext_edit.h"
#include "help_tip_wnd.h"
#include "menu_button.h"
#include "platform.h"
#include "reference_scanner.h"
#include "resizable_dialog.h"
#include "result_list.h"

class CKivrelDlg : public CResizableDialog,
                   private kivrel::IReportSink,
                   private kivrel::IScanObserver {
public:
    explicit CKivrelDlg(CWnd* pParent = nullptr);
    ~CKivrelDlg() override;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    // "Scan", Enter, and the command-line start.
    void OnOK() override;
    // "Exit", Esc and the close box.
    void OnCancel() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnSettingChange(UINT uFlags, LPCSTR lpszSection);
    void OnFindModule();
    void OnFindInitialDir();
    void OnRButtonDown(UINT nFlags, CPoint point);
    // Shift+F10 and the context-menu key drop the options menu at the
    // focused control.
    void OnContextMenu(HWND hWnd, CPoint point);
    void OnAbout();
    void OnChooseFont();
    void OnToggleHelpTips();
    void OnUpdateHelpTips(CCmdUI* pCmdUI);
    void OnToggleCleanup();
    void OnUpdateCleanup(CCmdUI* pCmdUI);

    void OnScan();
    void ApplyFont();
    void StartFromCommandLine();

    // The scan's report and progress.
    void ResetLines() override;
    void AddLine(const std::string& text, uint32_t value) override;
    void OnResolving(const std::string& name) override;

    std::unique_ptr<kivrel::IScanPlatform> m_pPlatform;
    kivrel::CReferenceScanner m_scanner;
    // The two working lists live in m_scanner; their hidden list boxes stay
    // in the template and are bound here.
    CResultList m_listResults;
    CMenuButton m_btnOptions;
    CExtEdit m_editModule;
    CExtEdit m_editInitialDir;
    BOOL m_bCleanup = TRUE;
    // The "Help" setting as read at start; the tips themselves are m_helpTips.
    BOOL m_bHelpTips = TRUE;
    CHelpTipWnd m_helpTips;
    // The fields' and the results list's font; the stock font until the
    // settings or the user name another.
    CEditableFont m_font;

    DECLARE_MESSAGE_MAP()
};
