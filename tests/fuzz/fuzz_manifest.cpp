// Fuzz target for the manifest reader: the bytes are a manifest. Where expat
// is built in, whatever our reader accepts expat must accept and read the
// same; refusing more than expat is allowed.
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "manifest.h"
#include "reference_scanner.h"
#include "xml_events.h"

using namespace kivrel;
using kivrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string events = test::OurEvents(text);
#if KIVREL_HAVE_EXPAT
    if (events[0] != '!') Require(test::ExpatEvents(text) == events, "expat reads the same");
#endif
    Manifest manifest;
    std::string error;
    const bool read = ReadManifest(text, manifest, error);
    Require(read == error.empty(), "a reason exactly when refused");
    Require(read || (manifest.files.empty() && manifest.dependencies.empty()),
            "a refused manifest yields nothing");
    for (const std::string& file : manifest.files)
        Require(!file.empty() && IsSearchableName(file), "a file name names no other folder");
    for (const AssemblyDependency& dependency : manifest.dependencies) {
        Require(!dependency.identity.name.empty(), "a dependency has a name");
        for (const BindingRedirect& redirect : dependency.redirects) {
            AssemblyVersion version, target;
            redirect.Covers(version, target);
        }
    }
    return 0;
}
