// The application's start-up when OLE cannot be initialised.
#include <gtest/gtest.h>

#include "kivrel_app.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

HRESULT FailingOleInit() { return E_OUTOFMEMORY; }

TEST(Startup, WithoutOleItSaysSoAndEndsWithoutTheDialog) {
    CKivrelApp* app = static_cast<CKivrelApp*>(AfxGetApp());
    const CKivrelApp::OleInitFunction saved = app->m_pfnOleInit;
    app->m_pfnOleInit = &FailingOleInit;
    int windows = 0;
    std::string text;
    std::string caption;
    OnNextModalLoop([&](HWND window) {
        ++windows;
        text = WindowText(::GetDlgItem(window, 0xFFFF));
        caption = WindowText(window);
        // Ends a message box and the dialog alike.
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(app->InitInstance());
    app->m_pfnOleInit = saved;
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(text, "OleInit failed");
    EXPECT_EQ(caption, AfxGetAppName());
    // The settings key is chosen only after OLE is there.
    EXPECT_EQ(app->m_strRegistryKey, kTestRegistryKey);
}

}  // namespace
}  // namespace kivrel_test
