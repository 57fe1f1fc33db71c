#include "select_dir_dialog.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include "com_ptr.h"
#include "directory_text.h"
#include "global_memory.h"
#include "handle.h"
#include "ole_data_object.h"
#include "volume_platform.h"
#include "win_app.h"

IMPLEMENT_DYNAMIC(CSelectDirDialog, CFileDialog)

BEGIN_MESSAGE_MAP(CSelectDirDialog, CFileDialog)
ON_WM_DESTROY()
END_MESSAGE_MAP()

namespace {
// The framework's help command: what the help button means to the dialog.
constexpr UINT kIdHelp = 0xE146;
// WM_GETISHELLBROWSER: the file dialog's shell browser, which shows the list.
constexpr UINT kGetShellBrowser = WM_USER + 7;

std::string CurrentDirectory() {
    char buffer[MAX_PATH] = "";
    const DWORD length = ::GetCurrentDirectoryA(MAX_PATH, buffer);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

// The whole text: a text cut to a path buffer could name some other directory.
std::string WindowText(HWND hWnd) {
    const int length = ::GetWindowTextLengthA(hWnd);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(hWnd, text.data(), length + 1)));
    return text;
}

bool IsExistingFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A directory is taken when listing it yields an entry (any directory has ".").
bool ListsAnEntry(const std::string& pattern) {
    WIN32_FIND_DATAA data;
    const CFindHandle find(::FindFirstFileA(pattern.c_str(), &data));
    return find.IsValid();
}
}  // namespace

// Takes the help button's click at the platform's frame. Platforms tell the
// hook about that button in different ways or not at all; taken here, and
// not passed on, "Properties..." runs exactly once per click. Open is seen
// here first as well.
class CSelectDirDialog::CFrameCommands : public CWnd {
public:
    explicit CFrameCommands(CSelectDirDialog& dialog) : m_dialog(dialog) {}

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        if (LOWORD(wParam) == pshHelp && HIWORD(wParam) == BN_CLICKED) {
            m_dialog.SendMessage(WM_COMMAND, kIdHelp);
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK) m_dialog.OnOpenClicked();
        return CWnd::OnCommand(wParam, lParam);
    }

private:
    CSelectDirDialog& m_dialog;
};

CSelectDirDialog::CSelectDirDialog(const char* title, const char* filter, const char* initialDir,
                                   BOOL bRestoreDir, CWnd* pParentWnd)
    : CFileDialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_SHOWHELP | OFN_NOVALIDATE, filter,
                  pParentWnd),
      m_bRestoreDir(bRestoreDir),
      m_strTitle(title != nullptr ? title : "Select directory") {
    m_ofn.Flags |= OFN_ENABLEHOOK;
    m_ofn.lpstrTitle = m_strTitle.c_str();
    const std::string saved = CurrentDirectory();
    lstrcpynA(m_szSavedDir, saved.c_str(), MAX_PATH);
    ChangeCurrentDirectory(initialDir);
    m_bRestorePending = true;
    // Given explicitly: without it the platform may start in a folder it
    // remembered from an earlier dialog instead.
    m_strInitialDir = CurrentDirectory();
    if (!m_strInitialDir.empty()) m_ofn.lpstrInitialDir = m_strInitialDir.c_str();
}

CSelectDirDialog::~CSelectDirDialog() {
    // Also when the dialog was never shown.
    if (m_bRestorePending) RestoreCurrentDirectory();
}

INT_PTR CSelectDirDialog::DoModal() {
    const INT_PTR result = CFileDialog::DoModal();
    if (result != IDOK) m_szDirectory[0] = '\0';
    // The platform may set the current directory after its window is gone.
    RestoreCurrentDirectory();
    return result;
}

void CSelectDirDialog::RestoreCurrentDirectory() {
    m_bRestorePending = false;
    if (m_bRestoreDir) ChangeCurrentDirectory(m_szSavedDir);
}

void CSelectDirDialog::ChangeCurrentDirectory(const char* directory) {
    if (directory != nullptr && directory[0] != '\0') ::SetCurrentDirectoryA(directory);
}

HWND CSelectDirDialog::GetParentItem(int nID) const {
    const HWND hWndFrame = GetFrame();
    return hWndFrame != nullptr ? ::GetDlgItem(hWndFrame, nID) : nullptr;
}

HWND CSelectDirDialog::GetFileNameField() const {
    // The classic edit field where it exists, else the combo box that
    // current systems show in its place.
    const HWND hWndEdit = GetParentItem(edt1);
    return hWndEdit != nullptr ? hWndEdit : GetParentItem(cmb13);
}

std::string CSelectDirDialog::GetShownFolder() const {
    const HWND hWndFrame = GetFrame();
    if (hWndFrame == nullptr) return std::string();
    char folder[MAX_PATH] = "";
    const LRESULT length =
        ::SendMessageA(hWndFrame, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    if (length <= 0 || length > MAX_PATH) return std::string();
    return kivrel::IsFileSystemFolder(folder) ? std::string(folder) : std::string();
}

BOOL CSelectDirDialog::OnInitDialog() {
    const HWND hWndFrame = GetFrame();
    if (hWndFrame != nullptr) {
        // No "?" button in the title bar: the help button has another meaning.
        const LONG_PTR exStyle = ::GetWindowLongPtrA(hWndFrame, GWL_EXSTYLE);
        ::SetWindowLongPtrA(hWndFrame, GWL_EXSTYLE, exStyle & ~LONG_PTR{WS_EX_CONTEXTHELP});
    }
    const BOOL result = CFileDialog::OnInitDialog();
    if (const HWND hWndLabel = GetParentItem(stc3)) ::SetWindowTextA(hWndLabel, "Directory:");
    if (const HWND hWndHelp = GetParentItem(pshHelp)) ::SetWindowTextA(hWndHelp, "Properties...");
    if (hWndFrame != nullptr) {
        m_pFrameCommands = std::make_unique<CFrameCommands>(*this);
        m_pFrameCommands->SubclassWindow(hWndFrame);
    }
    return result;
}

void CSelectDirDialog::OnFolderChange() {
    if (const HWND hWndField = GetFileNameField()) {
        // A shell folder such as My Computer leaves the field empty.
        ::SetWindowTextA(hWndField, GetShownFolder().c_str());
    }
}

CComRef<IShellView> CSelectDirDialog::GetShellView() const {
    const HWND hWndFrame = GetFrame();
    if (hWndFrame == nullptr) return CComRef<IShellView>();
    // The frame's browser is its own: not a reference of ours.
    auto* browser =
        reinterpret_cast<IShellBrowser*>(::SendMessageA(hWndFrame, kGetShellBrowser, 0, 0));
    IShellView* view = nullptr;
    if (browser == nullptr || FAILED(browser->QueryActiveShellView(&view))) {
        return CComRef<IShellView>();
    }
    return CComRef<IShellView>::Adopt(view);
}

std::string CSelectDirDialog::GetSelectedFolder() const {
    const CComRef<IShellView> view = GetShellView();
    void* selection = nullptr;
    if (!view || FAILED(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, &selection))) {
        return std::string();
    }
    COleDataObject data;
    data.Attach(static_cast<IDataObject*>(selection));
    static_cast<IDataObject*>(selection)->Release();
    CStgMedium medium;
    const UINT cfIdList = ::RegisterClipboardFormatA("Shell IDList Array");
    if (!data.GetData(static_cast<CLIPFORMAT>(cfIdList), medium)) return std::string();
    CGlobalLock block(medium.Get().hGlobal);
    // One item: the folder's and the item's id lists, both inside the block.
    const auto* ida = static_cast<const CIDA*>(block.Data());
    const size_t header = offsetof(CIDA, aoffset) + 2 * sizeof(UINT);
    if (ida == nullptr || block.Size() < header || ida->cidl != 1 ||
        ida->aoffset[0] >= block.Size() || ida->aoffset[1] >= block.Size()) {
        return std::string();
    }
    const BYTE* bytes = block.Bytes();
    const auto* parent = reinterpret_cast<PCIDLIST_ABSOLUTE>(bytes + ida->aoffset[0]);
    const auto* child = reinterpret_cast<PCUITEMID_CHILD>(bytes + ida->aoffset[1]);
    PIDLIST_ABSOLUTE item = ::ILCombine(parent, child);
    char path[MAX_PATH] = "";
    const bool named = item != nullptr && ::SHGetPathFromIDListA(item, path);
    ::ILFree(item);
    const DWORD attributes = named ? ::GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::string();
    }
    return path;
}

void CSelectDirDialog::OnFileNameChange() {
    // The platform names only files in the field; a folder selected in the
    // list is what Open takes, so the field names it.
    const std::string folder = GetSelectedFolder();
    const HWND hWndField = GetFileNameField();
    if (!folder.empty() && hWndField != nullptr) ::SetWindowTextA(hWndField, folder.c_str());
}

void CSelectDirDialog::OnOpenClicked() {
    // The platform's Open enters a folder selected in the list instead of
    // taking it. When the field still names that folder, the list lets it
    // go, so that Open takes the field; double-click still enters it.
    const std::string folder = GetSelectedFolder();
    const HWND hWndField = GetFileNameField();
    if (folder.empty() || hWndField == nullptr ||
        ::lstrcmpiA(WindowText(hWndField).c_str(), folder.c_str()) != 0) {
        return;
    }
    const CComRef<IShellView> view = GetShellView();
    HWND hWndView = nullptr;
    if (!view || FAILED(view->GetWindow(&hWndView))) return;
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED;
    const HWND hWndList = ::FindWindowExA(hWndView, nullptr, WC_LISTVIEWA, nullptr);
    ::SendMessageA(hWndList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(&none));
}

BOOL CSelectDirDialog::GetSelectedDirectory(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return FALSE;
    const std::string folder = GetShownFolder();
    std::string directory = folder;
    if (const HWND hWndField = GetFileNameField()) {
        directory = kivrel::AbsoluteDirectory(folder, WindowText(hWndField));
        // A confirmed file means the folder that holds it.
        if (IsExistingFile(directory)) directory = kivrel::ParentDirectory(directory);
    }
    directory = kivrel::WithoutTrailingBackslash(directory);
    const std::string pattern = kivrel::SearchPattern(directory);
    if (directory.empty() || directory.size() >= static_cast<size_t>(size) ||
        !kivrel::FitsPathBuffer(pattern) || !ListsAnEntry(pattern)) {
        const HWND hWndFrame = GetFrame();
        ::MessageBoxA(hWndFrame != nullptr ? hWndFrame : m_hWnd, "Invalid directory",
                      AfxGetAppName(), MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    lstrcpynA(buffer, directory.c_str(), size);
    return TRUE;
}

BOOL CSelectDirDialog::OnFileNameOK() {
    return GetSelectedDirectory(m_szDirectory, MAX_PATH) ? FALSE : TRUE;
}

void CSelectDirDialog::OnOK() {
    // Reached only when the platform shows no Explorer frame.
    if (!OnFileNameOK()) EndDialog(IDOK);
}

void CSelectDirDialog::OnCancel() {
    m_szDirectory[0] = '\0';
    CFileDialog::OnCancel();
}

BOOL CSelectDirDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == kIdHelp) {
        ShowVolumeProperties();
        return TRUE;
    }
    return CFileDialog::OnCommand(wParam, lParam);
}

void CSelectDirDialog::ShowVolumeProperties() {
    char directory[MAX_PATH] = "";
    if (!GetSelectedDirectory(directory, MAX_PATH)) return;
    const HWND hWndFrame = GetFrame();
    CVolumePlatform platform(hWndFrame != nullptr ? hWndFrame : m_hWnd);
    kivrel::ShowVolumeReport(platform, directory);
}

void CSelectDirDialog::OnDestroy() {
    RestoreCurrentDirectory();
    Default();
}
