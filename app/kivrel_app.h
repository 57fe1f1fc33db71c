// The application object: OLE, the settings key, and the main dialog as the
// program's whole life.
#pragma once

#include "win_app.h"

class CKivrelApp : public CWinApp {
public:
    // Runs the main dialog; FALSE so that the program ends when it closes.
    BOOL InitInstance() override;
};
