// The JSON reader of insert --json and restore: numbers keep their text, escapes resolve to
// UTF-8, members keep their order, and text that is not JSON is named by line and column.
#include "tools/json_value.h"

#include <gtest/gtest.h>

#include "tools/cli_common.h"

namespace tarn::cli {
namespace {

TEST(JsonValue, ReadsValuesExactly) {
    TJsonValue v = ParseJson(
        " {\"b\": [1, -0.5e+3, 9223372036854775807, true, false, null],\n"
        "  \"a\": \"\\u4e2d\\\"\\\\\\/\\b\\f\\n\\r\\t\\ud83d\\ude00\", \"e\": {}, \"f\": []} ",
        "t");
    ASSERT_EQ(v.kind, TJsonValue::Kind::Object);
    ASSERT_EQ(v.members.size(), 4u);
    EXPECT_EQ(v.members[0].first, "b");  // the order written
    const TJsonValue& b = v.members[0].second;
    ASSERT_EQ(b.items.size(), 6u);
    EXPECT_EQ(b.items[0].text, "1");
    EXPECT_EQ(b.items[1].text, "-0.5e+3");
    EXPECT_EQ(b.items[2].text, "9223372036854775807");
    EXPECT_EQ(b.items[3].kind, TJsonValue::Kind::Bool);
    EXPECT_EQ(b.items[3].text, "true");
    EXPECT_EQ(b.items[4].text, "false");
    EXPECT_EQ(b.items[5].kind, TJsonValue::Kind::Null);
    ASSERT_NE(v.Find("a"), nullptr);
    EXPECT_EQ(v.Find("a")->text, "中\"\\/\b\f\n\r\t\U0001F600");
    EXPECT_EQ(v.Find("e")->kind, TJsonValue::Kind::Object);
    EXPECT_EQ(v.Find("f")->kind, TJsonValue::Kind::Array);
    EXPECT_EQ(v.Find("x"), nullptr);
}

TEST(JsonValue, NamesWhereTheTextIsNotJson) {
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"", "t: line 1, column 1: the JSON ends where a value should be"},
        {"{\"a\": 1,}", "t: line 1, column 9: expected a member name in quotes"},
        {"[1 2]", "t: line 1, column 4: expected ',' or ']' in an array"},
        {"{\"a\" 1}", "t: line 1, column 6: expected ':' after a member name"},
        {"\n\n  01", "t: line 3, column 4: text after the end of the JSON value"},
        {"-", "a number needs digits"},
        {"1.", "a number needs digits after its '.'"},
        {"1e", "a number needs digits in its exponent"},
        {"\"abc", "a string that never ends"},
        {"\"a\tb\"", "a control character inside a string"},
        {"\"\\x\"", "an unknown escape '\\x'"},
        {"\"\\u12\"", "a \\u escape needs four hex digits"},
        {"\"\\udc00\"", "a lone low surrogate"},
        {"\"\\ud800x\"", "a high surrogate without its low surrogate"},
        {"\"\xff\"", "a string that is not valid UTF-8 text"},
        {"tru", "unexpected character 't'"},
        {std::string(100, '['), "the JSON nests deeper than 64 levels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ParseJson(c.text, "t");
            ADD_FAILURE() << "no error";
        } catch (const EToolError& e) {
            EXPECT_NE(e.Message().find(c.message), std::string::npos) << e.Message();
        }
    }
}

}  // namespace
}  // namespace tarn::cli
