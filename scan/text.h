// Text helpers shared by the scan core: ASCII case folding and wildcard
// matching; path text comes from path_text.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "path_text.h"

namespace kivrel {

inline char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string ToLowerAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
// True when `text` begins with `prefix`, ignoring the case of ASCII letters.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Matches `name` against `pattern` ('*' any run, '?' one character) without
// regard to ASCII letter case.
bool MatchesWildcardNoCase(std::string_view pattern, std::string_view name);

}  // namespace kivrel
