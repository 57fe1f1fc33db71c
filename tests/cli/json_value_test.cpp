// The test's JSON reader must reject what is not JSON, or "--json is valid"
// would prove nothing.
#include "json_value.h"

#include <gtest/gtest.h>

namespace kivrel::test {
namespace {

TEST(JsonReader, ReadsNestedDocumentsInOrder) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(ParseJson(" {\"b\": [1, -2.5e1, true, null], \"a\": {\"s\": \"x\\u00e9\\\"\"}}\n",
                          value, error))
        << error;
    EXPECT_EQ(value.Keys(), (std::vector<std::string>{"b", "a"}));
    const JsonValue& b = *value.Find("b");
    ASSERT_EQ(b.items.size(), 4u);
    EXPECT_EQ(b.items[1].number, -25);
    EXPECT_TRUE(b.items[2].boolean);
    EXPECT_EQ(b.items[3].kind, JsonValue::NUL);
    EXPECT_EQ(value.Find("a")->Find("s")->text, "x\xE9\"");
    ASSERT_TRUE(ParseJson("[\"\\/\\b\\f\\n\\r\\t\\u0100\\u20AC\", {}, [], false, 0]", value, error))
        << error;
    EXPECT_EQ(value.items[0].text, "/\b\f\n\r\t\xC4\x80\xE2\x82\xAC");
    EXPECT_FALSE(value.items[3].boolean);
}

TEST(JsonReader, RejectsWhatIsNotJson) {
    for (const char* text : {"", "{", "{\"a\": 1,}", "[1,]", "{\"a\" 1}", "{a: 1}", "[1] [2]",
                             "\"tab\tinside\"", "\"\\x\"", "\"\\u12\"", "\"\\u12G4\"", "01", "1.",
                             "-", "tru", "{\"a\": 1}}", "\"unterminated"}) {
        JsonValue value;
        std::string error;
        EXPECT_FALSE(ParseJson(text, value, error)) << text;
    }
}

}  // namespace
}  // namespace kivrel::test
