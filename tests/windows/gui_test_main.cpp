// The GUI tests run with an application object of their own, whose settings
// live under a test key, and with OLE initialised as in the program.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "kivrel_app.h"
#include "ole_init.h"
#include "test_support.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    COleInitializer ole;
    CKivrelApp app;
    app.SetStartup(::GetModuleHandleA(nullptr), "");
    app.SetRegistryKey(kivrel_test::kTestRegistryKey);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    return RUN_ALL_TESTS();
}
