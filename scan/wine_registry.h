// A reader of the text files in which Wine keeps a prefix's registry
// (system.reg, user.reg): the string values of one key. The file comes from
// the user's disk and may hold anything; one pass over its bytes, nothing
// kept but the values asked for.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

struct RegistryString {
    std::string name;  // the value's name
    std::string data;  // its text
};

enum RegistryRead {
    REGISTRY_KEY_FOUND,   // the key is there; `values` holds its plain strings
    REGISTRY_KEY_ABSENT,  // a registry file without that key
    REGISTRY_NOT_WINE,    // not a Wine registry file
};

// Collects the plain string values (REG_SZ, written "name"="text") of the
// keys whose path, unescaped and without regard to ASCII case, is one of
// `keyPaths` (written as the file's header says, e.g. relative to
// REGISTRY\Machine). Other value types are passed over, and so are values
// whose name or text holds a control character, a character beyond ASCII or
// more characters than a path buffer takes.
RegistryRead ReadRegistryStrings(const uint8_t* data, uint32_t size,
                                 std::initializer_list<std::string_view> keyPaths,
                                 std::vector<RegistryString>& values);

}  // namespace kivrel
