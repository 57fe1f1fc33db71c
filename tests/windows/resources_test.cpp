// Where the resources and the code are two sources of one truth: the scan's
// message texts, and the manifest the controls' look depends on.
#include <gtest/gtest.h>

#include <string>

#include "messages.h"
#include "resource_string.h"
#include "win_app.h"

TEST(Resources, ScanMessagesOfTheCoreAreTheStringTableTexts) {
    for (int id : {kivrel::IDS_INVALID_NT_SIGNATURE, kivrel::IDS_SCAN_FAILED,
                   kivrel::IDS_NO_REFERENCES, kivrel::IDS_NO_MODULE, kivrel::IDS_NOT_FOUND_HEADING})
        EXPECT_EQ(LoadResString(AfxGetResourceHandle(), static_cast<UINT>(id)),
                  kivrel::MessageText(id))
            << id;
}

TEST(Resources, ManifestAsksForCommonControls6AndSystemDpiAwareness) {
    const HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(resource, nullptr);
    const std::string manifest(
        static_cast<const char*>(::LockResource(::LoadResource(nullptr, resource))),
        ::SizeofResource(nullptr, resource));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}
