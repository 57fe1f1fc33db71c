// Fuzz target for the Wine registry reader: the bytes are a system.reg.
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "text.h"
#include "wine_registry.h"

using kivrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<kivrel::RegistryString> values;
    const kivrel::RegistryRead read = kivrel::ReadRegistryStrings(
        data, kivrel::fuzz::Size32(size),
        {"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", "a"}, values);
    Require(read == kivrel::REGISTRY_KEY_FOUND || values.empty(), "values only from a key found");
    for (const kivrel::RegistryString& value : values) {
        for (const std::string* text : {&value.name, &value.data}) {
            Require(kivrel::FitsPathBuffer(*text), "a value fits a path buffer");
            for (char c : *text) Require(c >= 0x20 && c < 0x7F, "a value is printable ASCII");
        }
    }
    return 0;
}
