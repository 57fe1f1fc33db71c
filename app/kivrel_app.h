// The application object: OLE, the settings key, and the main dialog as the
// program's whole life.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include "win_app.h"

class CKivrelApp : public CWinApp {
public:
    // Runs the main dialog; FALSE so that the program ends when it closes.
    BOOL InitInstance() override;

    // Initialises OLE; a test puts a failing one here to see the start-up
    // end without the dialog.
    using OleInitFunction = HRESULT (*)();
    OleInitFunction m_pfnOleInit = &InitializeOle;

private:
    static HRESULT InitializeOle() { return ::OleInitialize(nullptr); }
};
