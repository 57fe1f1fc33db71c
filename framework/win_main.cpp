// The program's entry point: hands the start-up data to the one application
// object and runs it.
#include <windows.h>

#include "win_app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    app->SetStartup(hInstance, lpCmdLine);
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
