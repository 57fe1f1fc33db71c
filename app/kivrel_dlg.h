// The main dialog: the module and initial-directory fields, the Scan, Exit
// and Find... buttons, and the results list that the scan fills.
#pragma once

#include <memory>
#include <string>

#include "controls.h"
#include "editable_font.h"
#include "ext_edit.h"
#include "help_tip_wnd.h"
#include "known_dlls.h"
#include "menu_button.h"
#include "platform_slot.h"
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
    // "Loader rules": stored at once, as "Loader".
    void OnToggleLoader();
    void OnUpdateLoader(CCmdUI* pCmdUI);

    void OnScan();
    // The loader rules in force for a scan of `module`, with the folders
    // and KnownDLLs kivrel-scan --loader would give it; none when off.
    void PrepareScan(const std::string& module);
    void ApplyFont();
    void StartFromCommandLine();

    // The scan's report and progress.
    void ResetLines() override;
    void AddLine(const std::string& text, uint32_t value) override;
    void OnResolving(const std::string& name) override;

    // Each scan's own platform: the loader rules give a 32-bit module SysWOW64.
    kivrel::CPlatformSlot m_platform;
    kivrel::CKnownDlls m_knownDlls;
    kivrel::CReferenceScanner m_scanner;
    // The two working lists live in m_scanner; their hidden list boxes stay
    // in the template and are bound here.
    CResultList m_listResults;
    CMenuButton m_btnOptions;
    CExtEdit m_editModule;
    CExtEdit m_editInitialDir;
    BOOL m_bCleanup = TRUE;
    // The scan resolves as kivrel-scan --loader does.
    BOOL m_bLoader = FALSE;
    // The "Help" setting as read at start; the tips themselves are m_helpTips.
    BOOL m_bHelpTips = TRUE;
    CHelpTipWnd m_helpTips;
    // The fields' and the results list's font; the stock font until the
    // settings or the user name another.
    CEditableFont m_font;

    DECLARE_MESSAGE_MAP()
};
