// Text helpers shared by the scan core: ASCII case folding, wildcard matching
// and the 260-character path limit of the Windows narrow-character interfaces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kivrel {

// Paths and names live in buffers of this many characters, the terminating
// zero included; a text of kMaxPath characters or more does not fit.
constexpr size_t kMaxPath = 260;

inline bool FitsPathBuffer(std::string_view text) { return text.size() < kMaxPath; }

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string ToLowerAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
// True when `text` begins with `prefix`, ignoring the case of ASCII letters.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Matches `name` against `pattern` ('*' any run, '?' one character) without
// regard to ASCII letter case.
bool MatchesWildcardNoCase(std::string_view pattern, std::string_view name);

}  // namespace kivrel
