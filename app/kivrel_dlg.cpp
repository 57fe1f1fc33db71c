#include "kivrel_dlg.h"

#include <io.h>

#include "cmd_ui.h"
#include "file_dialog.h"
#include "help_tip_request.h"
#include "loader_setup.h"
#include "resource.h"
#include "resource_string.h"
#include "select_dir_dialog.h"
#include "wait_cursor.h"
#include "win_app.h"

BEGIN_MESSAGE_MAP(CKivrelDlg, CResizableDialog)
ON_WM_SYSCOMMAND()
ON_COMMAND(IDC_FIND_MODULE, OnFindModule)
ON_COMMAND(IDC_FIND_INITIAL_DIR, OnFindInitialDir)
ON_WM_SETTINGCHANGE()
ON_WM_RBUTTONDOWN()
ON_WM_CONTEXTMENU()
ON_COMMAND(IDM_ABOUTBOX, OnAbout)
ON_COMMAND(ID_OPTIONS_FONT, OnChooseFont)
ON_COMMAND(ID_OPTIONS_HELPTIPS, OnToggleHelpTips)
ON_UPDATE_COMMAND_UI(ID_OPTIONS_HELPTIPS, OnUpdateHelpTips)
ON_COMMAND(ID_OPTIONS_CLEANUP, OnToggleCleanup)
ON_UPDATE_COMMAND_UI(ID_OPTIONS_CLEANUP, OnUpdateCleanup)
ON_COMMAND(ID_OPTIONS_LOADER, OnToggleLoader)
ON_UPDATE_COMMAND_UI(ID_OPTIONS_LOADER, OnUpdateLoader)
END_MESSAGE_MAP()

namespace {
// Horizontal extent of the emptied results list, in pixels.
constexpr int kInitialExtent = 30;
}  // namespace

CKivrelDlg::CKivrelDlg(CWnd* pParent)
    : CResizableDialog(IDD_KIVREL_DIALOG, IDR_MAINFRAME, 0, pParent),
      m_platform(kivrel::CreateNativePlatform()),
      m_scanner(m_platform, this) {
    m_font.AttachShared(::GetStockObject(ANSI_VAR_FONT));
}

CKivrelDlg::~CKivrelDlg() = default;

void CKivrelDlg::DoDataExchange(CDataExchange* pDX) {
    CResizableDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_RESULTS, m_listResults);
    DDX_Control(pDX, IDC_OPTIONS, m_btnOptions);
    DDX_Control(pDX, IDC_MODULE, m_editModule);
    DDX_Control(pDX, IDC_INITIAL_DIR, m_editInitialDir);
}

BOOL CKivrelDlg::OnInitDialog() {
    CResizableDialog::OnInitDialog();

    static const int widen[] = {IDC_MODULE, IDC_INITIAL_DIR, IDC_RESULTS};
    static const int moveRight[] = {IDC_FIND_MODULE, IDC_FIND_INITIAL_DIR, IDC_OPTIONS, IDOK,
                                    IDCANCEL};
    static const int heighten[] = {IDC_RESULTS};
    static const int moveDown[] = {IDC_OPTIONS};
    SetControlLayout(widen, moveRight, heighten, moveDown);

    if (HMENU hSysMenu = GetSystemMenu(FALSE)) {
        std::string about;
        if (LoadResString(AfxGetResourceHandle(), IDS_ABOUTBOX, about)) {
            ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    m_btnOptions.SetDropMenu(IDR_OPTIONS_MENU, 0);
    // The fields take dropped text and shell files.
    m_editInitialDir.m_nTipTextId = IDS_TIP_INITIAL_DIR;
    m_editInitialDir.EnableDragDrop();
    m_editInitialDir.DragAcceptFiles(TRUE);
    m_editModule.m_nTipTextId = IDS_TIP_MODULE;
    m_editModule.EnableDragDrop();
    m_editModule.DragAcceptFiles(TRUE);
    m_listResults.m_nTipTextId = IDS_TIP_RESULTS;
    // A drag source only: its lines stay, and drags also carry text.
    m_listResults.InitTransfer(OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, "windowsmodule");
    // The push buttons cannot answer tip requests: the dialog answers for them.
    for (int nID : {IDC_FIND_MODULE, IDC_FIND_INITIAL_DIR, IDOK, IDCANCEL}) {
        m_helpTips.RedirectTool(GetDlgItem(nID), m_hWnd);
    }

    LoadPlacement(IDS_SECTION_MAIN, IDS_ENTRY_WINDOW);
    m_font.ReadProfile(IDS_SECTION_MAIN, IDS_ENTRY_FONT);
    const std::string section = LoadResString(AfxGetResourceHandle(), IDS_SECTION_MAIN);
    const std::string help = LoadResString(AfxGetResourceHandle(), IDS_ENTRY_HELP);
    m_bHelpTips = AfxGetApp()->GetProfileInt(section.c_str(), help.c_str(), 1) != 0;
    if (m_bHelpTips) m_helpTips.Toggle(m_hWnd);
    // Any other stored value is off, and stays as it is until toggled.
    const std::string loader = LoadResString(AfxGetResourceHandle(), IDS_ENTRY_LOADER);
    m_bLoader = AfxGetApp()->GetProfileInt(section.c_str(), loader.c_str(), 0) == 1;

    ApplyFont();
    StartFromCommandLine();
    return TRUE;
}

void CKivrelDlg::StartFromCommandLine() {
    const std::string& commandLine = AfxGetApp()->m_strCmdLine;
    if (commandLine.empty()) return;
    std::string path = commandLine;
    if (commandLine[0] == '"') {
        const size_t end = commandLine.find('"', 1);
        path = commandLine.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    // A path that does not fit a path buffer is refused rather than cut, as a
    // cut path would name some other file.
    if (path.empty() || path.size() >= MAX_PATH || _access(path.c_str(), 0) != 0) return;
    m_editModule.SetWindowText(path);
    PostMessage(WM_COMMAND, IDOK);
}

void CKivrelDlg::ApplyFont() {
    m_editInitialDir.SetFont(m_font, TRUE);
    m_editModule.SetFont(m_font, TRUE);
    m_listResults.ApplyFont(&m_font);
}

void CKivrelDlg::OnSettingChange(UINT uFlags, LPCSTR lpszSection) {
    CResizableDialog::OnSettingChange(uFlags, lpszSection);
    if (uFlags == SPI_SETNONCLIENTMETRICS) ApplyFont();
}

void CKivrelDlg::OnOK() { OnScan(); }

void CKivrelDlg::OnScan() {
    const std::string module = m_editModule.GetWindowText();
    const std::string initialDirectory = m_editInitialDir.GetWindowText();
    if (module.empty()) {
        // Only the message is appended; no wait, and the list is kept.
        m_scanner.Scan(module, initialDirectory, m_bCleanup != FALSE, *this);
        return;
    }
    CWaitCursor wait;
    PrepareScan(module);
    m_scanner.Scan(module, initialDirectory, m_bCleanup != FALSE, *this);
    m_editModule.SetWindowText(module);
}

void CKivrelDlg::PrepareScan(const std::string& module) {
    kivrel::LoaderOptions loader;
    kivrel::LoaderFolderOptions folders;
    if (m_bLoader) kivrel::EnableAllLoaderRules(loader, folders, /*oneProgram=*/true);
    kivrel::PlatformOverrides overrides;
    kivrel::KnownDllsSource source;
    kivrel::LoaderScanSetup setup;
    std::string error;
    // Fails only on a KnownDLLs list file, which the dialog never names.
    kivrel::PrepareLoaderScan(module, loader, folders, overrides, source, setup, error);
    m_platform.Replace(std::move(setup.platform));
    m_knownDlls = std::move(setup.knownDlls);
    m_scanner.SetLoaderOptions(loader);
    m_scanner.SetKnownDlls(&m_knownDlls);
}

void CKivrelDlg::ResetLines() {
    m_listResults.ResetContent();
    m_listResults.SetHorizontalExtent(kInitialExtent);
}

void CKivrelDlg::AddLine(const std::string& text, uint32_t value) {
    m_listResults.AddLine(text.c_str(), value);
}

void CKivrelDlg::OnResolving(const std::string& name) {
    m_editModule.SetWindowText(name);
    m_editModule.UpdateWindow();
}

void CKivrelDlg::OnCancel() {
    m_scanner.ClearLists();
    SavePlacement(IDS_SECTION_MAIN, IDS_ENTRY_WINDOW);
    const std::string section = LoadResString(AfxGetResourceHandle(), IDS_SECTION_MAIN);
    const std::string help = LoadResString(AfxGetResourceHandle(), IDS_ENTRY_HELP);
    AfxGetApp()->WriteProfileInt(section.c_str(), help.c_str(), m_helpTips.IsOn() ? 1 : 0);
    EndDialog(IDCANCEL);
}

void CKivrelDlg::OnSysCommand(UINT nID, LPARAM) {
    if (nID == IDM_ABOUTBOX) {
        OnAbout();
    } else {
        Default();
    }
}

void CKivrelDlg::OnAbout() {
    CDialog about(IDD_ABOUTBOX, this);
    about.DoModal();
}

void CKivrelDlg::OnRButtonDown(UINT, CPoint) { m_btnOptions.ShowDropMenu(TRUE, FALSE); }

void CKivrelDlg::OnContextMenu(HWND, CPoint point) {
    // Only the keyboard's request; a mouse's comes after a right click,
    // which has dropped the menu already where it should.
    if (point.x != -1 || point.y != -1) {
        Default();
        return;
    }
    const HWND hWndFocus = ::GetFocus();
    CRect rect;
    ::GetWindowRect(hWndFocus != nullptr && ::IsChild(m_hWnd, hWndFocus) ? hWndFocus : m_hWnd,
                    &rect);
    m_btnOptions.ShowDropMenuAt(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2},
                                FALSE);
}

void CKivrelDlg::OnChooseFont() {
    // The string table has no such title: the chooser keeps its own caption.
    if (!m_font.EditWithDialog(ID_OPTIONS_FONT, this)) return;
    m_font.WriteProfile(IDS_SECTION_MAIN, IDS_ENTRY_FONT);
    ApplyFont();
}

void CKivrelDlg::OnToggleHelpTips() {
    m_helpTips.Toggle(m_hWnd);
    m_bHelpTips = m_helpTips.IsOn();
}

void CKivrelDlg::OnUpdateHelpTips(CCmdUI* pCmdUI) {
    pCmdUI->Enable(m_helpTips.CanToggle());
    pCmdUI->SetCheck(m_helpTips.IsOn() ? 1 : 0);
}

void CKivrelDlg::OnToggleCleanup() { m_bCleanup = m_bCleanup == FALSE ? TRUE : FALSE; }

void CKivrelDlg::OnUpdateCleanup(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_bCleanup ? 1 : 0); }

void CKivrelDlg::OnToggleLoader() {
    m_bLoader = m_bLoader == FALSE ? TRUE : FALSE;
    const std::string section = LoadResString(AfxGetResourceHandle(), IDS_SECTION_MAIN);
    const std::string loader = LoadResString(AfxGetResourceHandle(), IDS_ENTRY_LOADER);
    AfxGetApp()->WriteProfileInt(section.c_str(), loader.c_str(), m_bLoader ? 1 : 0);
}

void CKivrelDlg::OnUpdateLoader(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_bLoader ? 1 : 0); }

void CKivrelDlg::OnFindModule() {
    const std::string filter = LoadResString(AfxGetResourceHandle(), IDS_MODULE_FILTER);
    const std::string title = LoadResString(AfxGetResourceHandle(), IDS_TIP_FIND_MODULE);
    const std::string module = m_editModule.GetWindowText();
    CFileDialog dialog(TRUE, nullptr, module.c_str(),
                       OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST, filter.c_str(),
                       this);
    dialog.m_ofn.lpstrTitle = title.c_str();
    if (dialog.DoModal() == IDOK) m_editModule.SetWindowText(dialog.GetPathName());
}

void CKivrelDlg::OnFindInitialDir() {
    const std::string filter = LoadResString(AfxGetResourceHandle(), IDS_MODULE_FILTER);
    const std::string title = LoadResString(AfxGetResourceHandle(), IDS_TIP_FIND_INITIAL_DIR);
    const std::string directory = m_editInitialDir.GetWindowText();
    // Owned by this dialog, so that it stays in front of it and disables it.
    CSelectDirDialog dialog(title.c_str(), filter.c_str(), directory.c_str(), TRUE, this);
    if (dialog.DoModal() == IDOK) m_editInitialDir.SetWindowText(dialog.GetDirectory());
}

BOOL CKivrelDlg::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message != WM_NOTIFY) {
        return CResizableDialog::OnChildNotify(message, wParam, lParam, pResult);
    }
    // The help tip window asks the dialog for the texts of its push buttons
    // and of the options menu's items.
    NMHELPTIP* request = reinterpret_cast<NMHELPTIP*>(lParam);
    if (request->hdr.code == HTN_NEEDTEXT) {
        UINT nID = 0;
        switch (request->hdr.idFrom) {
            case IDOK:
                nID = IDS_TIP_SCAN;
                break;
            case IDCANCEL:
                nID = IDS_TIP_EXIT;
                break;
            case IDC_FIND_MODULE:
                nID = IDS_TIP_FIND_MODULE;
                break;
            case IDC_FIND_INITIAL_DIR:
                nID = IDS_TIP_FIND_INITIAL_DIR;
                break;
            case ID_OPTIONS_LOADER:
                nID = IDS_TIP_LOADER;
                break;
            default:
                break;
        }
        if (nID != 0) AnswerHelpTip(request, nID);
    }
    return TRUE;
}
