// A strict JSON reader for checking kivrel-scan --json in the tests, on Linux
// and under Wine alike (RFC 8259: no trailing commas, no comments, nothing
// after the document). Strings are decoded to bytes: \u00XX gives the byte
// 0xXX, larger code points give UTF-8.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kivrel::test {

class JsonValue {
public:
    enum Kind { NUL, BOOLEAN, NUMBER, STRING, ARRAY, OBJECT };

    Kind kind = NUL;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;                            // ARRAY
    std::vector<std::pair<std::string, JsonValue>> members;  // OBJECT, in document order

    // The member `key` of an object, or null when there is none.
    const JsonValue* Find(const std::string& key) const;
    // Member names in document order.
    std::vector<std::string> Keys() const;
};

// Parses `document`; on failure returns false with a message naming the offset.
bool ParseJson(const std::string& document, JsonValue& value, std::string& error);

}  // namespace kivrel::test
