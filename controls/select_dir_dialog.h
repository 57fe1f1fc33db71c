// A directory picker built on the platform's file-open dialog: the name field
// shows the folder being shown, or the folder selected in it, a confirmed entry is taken as a
// directory and checked, and the help button becomes "Properties...", which
// reports on the volume of the directory.
#pragma once

#include <shlobj.h>

#include <memory>
#include <string>

#include "com_ptr.h"
#include "file_dialog.h"

class CSelectDirDialog : public CFileDialog {
    DECLARE_DYNAMIC(CSelectDirDialog)
public:
    // `title` null: "Select directory". `filter` only decides which files are
    // listed. The dialog starts in `initialDir` when it can be entered.
    // `bRestoreDir`: the current directory is put back afterwards.
    CSelectDirDialog(const char* title, const char* filter, const char* initialDir,
                     BOOL bRestoreDir, CWnd* pParentWnd = nullptr);
    ~CSelectDirDialog() override;

    INT_PTR DoModal() override;
    // The accepted directory, without a trailing backslash ("C:" for a root).
    const char* GetDirectory() const { return m_szDirectory; }
    // The directory the user means now, checked; FALSE after "Invalid directory".
    BOOL GetSelectedDirectory(char* buffer, int size);
    // The control with that id in the platform's frame, or null.
    HWND GetParentItem(int nID) const;
    static void ChangeCurrentDirectory(const char* directory);
    // The report on the volume of the directory the user means ("Properties...").
    void ShowVolumeProperties();

protected:
    BOOL OnInitDialog() override;
    BOOL OnFileNameOK() override;
    void OnFileNameChange() override;
    void OnFolderChange() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnDestroy();

private:
    class CFrameCommands;

    HWND GetFileNameField() const;
    // The folder the dialog shows; empty when it is not a file-system folder.
    std::string GetShownFolder() const;
    // The one folder selected in the list; empty unless exactly one
    // file-system folder is selected.
    std::string GetSelectedFolder() const;
    // The view that shows the folder's list, or none.
    CComRef<IShellView> GetShellView() const;
    // Open was clicked, before the platform sees it.
    void OnOpenClicked();
    void RestoreCurrentDirectory();

    BOOL m_bRestoreDir;
    // Set while the saved directory still has to be put back.
    bool m_bRestorePending = false;
    char m_szSavedDir[MAX_PATH] = "";
    char m_szDirectory[MAX_PATH] = "";
    std::string m_strTitle;
    std::string m_strInitialDir;
    std::unique_ptr<CFrameCommands> m_pFrameCommands;

    DECLARE_MESSAGE_MAP()
};
