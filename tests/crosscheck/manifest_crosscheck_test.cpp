// The manifest reader against expat on every manifest Wine installs (found as
// text in its PE files, whatever resource holds it) and on the fuzz seeds:
// the same elements, and every real manifest accepted. The resource walk must
// find each EXE's manifest (resource 1) whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "manifest.h"
#include "mapped_image.h"
#include "resource_directory.h"
#include "temp_dir.h"
#include "xml_events.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

TEST(ManifestCrossCheck, SameElementsAsExpat) {
    size_t documents = 0, resources = 0;
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                            "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir, error)) {
            const std::string bytes = test::FileText(entry.path());
            for (size_t at = bytes.find("<?xml"); at != std::string::npos;
                 at = bytes.find("<?xml", at + 1)) {
                const size_t end = bytes.find("</assembly>", at);
                if (end == std::string::npos) break;
                const std::string text = bytes.substr(at, end + 11 - at);
                // XML strings of other kinds (msxml's) are no manifests.
                if (text.find('\0') != std::string::npos ||
                    text.find("<assembly") == std::string::npos)
                    continue;
                SCOPED_TRACE(entry.path().string() + " at " + std::to_string(at));
                const std::string ours = test::OurEvents(text);
                EXPECT_NE(ours[0], '!') << ours;
                EXPECT_EQ(ours, test::ExpatEvents(text));
                ++documents;
            }
            const CMappedImage image(reinterpret_cast<const uint8_t*>(bytes.data()),
                                     uint32_t(bytes.size()));
            ResourceData data;
            if (FindResourceData(image, kResourceManifest, kProcessManifestId, data) ==
                RESOURCE_FOUND) {
                Manifest manifest;
                std::string why;
                EXPECT_TRUE(ReadManifest(bytes.substr(data.offset, data.size), manifest, why))
                    << entry.path() << ": " << why;
                ++resources;
            }
        }
    }
    if (documents == 0) GTEST_SKIP() << "Wine's PE files are not installed";
    EXPECT_GT(resources, 0u);

    for (const auto& entry : fs::directory_iterator(KIVREL_MANIFEST_SEEDS)) {
        const std::string text = test::FileText(entry.path()), ours = test::OurEvents(text);
        if (ours[0] != '!') {
            EXPECT_EQ(ours, test::ExpatEvents(text)) << entry.path();
        }
    }
}

}  // namespace
}  // namespace kivrel
