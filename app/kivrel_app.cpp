#include "kivrel_app.h"

#include <commctrl.h>

#include "kivrel_dlg.h"
#include "ole_init.h"

BOOL CKivrelApp::InitInstance() {
    // Drag-and-drop of the fields and the results list needs OLE.
    COleInitializer ole(m_pfnOleInit());
    if (!ole.Succeeded()) {
        AfxMessageBox("OleInit failed", MB_OK);
        return FALSE;
    }
    SetRegistryKey("Velmarin");
    // Registers the visual-styles versions of the standard controls.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    CKivrelDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
