// The platform's font chooser. The chooser's window is attached to this
// object while it runs, so a derived class can adjust it in OnInitDialog.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include "dialog.h"

class CFontDialog : public CDialog {
    DECLARE_DYNAMIC(CFontDialog)
public:
    // `plfInitial` (may be null) gives the first choice; the chooser's result
    // is in m_lf. `pParentWnd` owns the chooser and is disabled while it runs.
    explicit CFontDialog(const LOGFONTA* plfInitial = nullptr, DWORD dwFlags = CF_SCREENFONTS,
                         HDC hdcPrinter = nullptr, CWnd* pParentWnd = nullptr);

    // IDOK when the user confirmed a font, else IDCANCEL.
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;

    CHOOSEFONTA m_cf{};
    LOGFONTA m_lf{};

protected:
    // OK and Cancel belong to the chooser's own procedure, which fills m_lf
    // and gives ChooseFont its result.
    void OnOK() override { Default(); }
    void OnCancel() override { Default(); }

private:
    static UINT_PTR CALLBACK HookProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};
