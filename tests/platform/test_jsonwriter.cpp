// The shared JSON writer: the layouts its outputs rely on, escapes, text repair and numbers.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/jsonwriter.h"

namespace pixhaven::json {
namespace {

TEST(JsonWriter, LaysOutObjectsAndArraysAsEachOutputNeeds) {
    Writer lines;
    lines.BeginArray("\n  ", "\n");
    lines.BeginObject().Member("name", "x").Member("size", 3).EndObject();
    lines.BeginObject().Key("tags").BeginArray().String("a").String("b").EndArray().EndObject();
    lines.EndArray();
    EXPECT_EQ(lines.Text(),
              "[\n  {\"name\": \"x\", \"size\": 3},\n  {\"tags\": [\"a\", \"b\"]}\n]");

    Writer compact(kCompact);
    compact.BeginObject().Key("list").BeginArray("\n").BeginObject().EndObject();
    compact.BeginObject().Member("ok", true).Key("none").Null().Member("u", u"\u00e9").EndObject();
    compact.EndArray().Key("empty").BeginArray("\n", "\n").EndArray().EndObject();
    EXPECT_EQ(compact.Text(),
              "{\"list\":[\n{},\n{\"ok\":true,\"none\":null,\"u\":\"\xc3\xa9\"}],\"empty\":[]}");
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharacters) {
    const std::string text = "q\"b\\ t\tn\nr\rESC\x1b del\x7f";
    Writer shortForm;
    shortForm.String(text);
    EXPECT_EQ(shortForm.Text(), R"("q\"b\\ t\tn\nr\rESC\u001b del)"
                                "\x7f\"");

    Writer hexForm(Style{", ", ": ", false});
    hexForm.BeginObject().Key("k\n").String(text).EndObject();
    EXPECT_EQ(hexForm.Text(), R"({"k\u000a": "q\"b\\ t\u0009n\u000ar\u000dESC\u001b del)"
                              "\x7f\"}");

    Writer nul;
    nul.String(std::u16string_view(u"a\0b", 3));
    EXPECT_EQ(nul.Text(), R"("a\u0000b")");
}

TEST(JsonWriter, WritesValidUtf8WhateverTheInput) {
    Writer json;
    json.BeginArray();
    json.String("\xc3\xa9\xf0\x9f\x93\x9e");  // valid: kept as it is
    json.String(
        "a\xff"
        "b\xe2\x82");                                         // a stray byte and a cut-off sequence
    json.String(u"\U0001F4DE");                               // a surrogate pair
    json.String(std::u16string(1, char16_t{0xD800}) + u"x");  // an unpaired surrogate
    json.EndArray();
    EXPECT_EQ(json.Text(),
              "[\"\xc3\xa9\xf0\x9f\x93\x9e\", \"a\xef\xbf\xbd"
              "b\xef\xbf\xbd\", "
              "\"\xf0\x9f\x93\x9e\", \"\xef\xbf\xbdx\"]");
}

TEST(JsonWriter, WritesNumbersExactly) {
    Writer json;
    json.BeginArray()
        .Int(std::numeric_limits<std::int64_t>::min())
        .Int(std::numeric_limits<std::uint64_t>::max())
        .Double(0.1)
        .Double(2.0)
        .Double(-1.5e300)
        .Double(std::numeric_limits<double>::quiet_NaN())
        .Double(std::numeric_limits<double>::infinity())
        .EndArray();
    EXPECT_EQ(json.Text(),
              "[-9223372036854775808, 18446744073709551615, 0.1, 2, -1.5e+300, null, null]");
}

}  // namespace
}  // namespace pixhaven::json
