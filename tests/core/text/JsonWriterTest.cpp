#include "JsonWriter.hpp"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <simdjson.h>

using vellumkite::JsonWriter;

namespace {

std::string escaped(std::string_view s) {
    std::string out;
    JsonWriter::appendString(out, s);
    return out;
}

std::string number(double x) {
    std::string out;
    JsonWriter::appendNumber(out, x);
    return out;
}

bool validJson(const std::string& text) {
    simdjson::dom::parser parser;
    simdjson::dom::element e;
    return parser.parse(text).get(e) == simdjson::SUCCESS;
}

TEST(JsonWriterTest, EscapesWhatJsonRequires) {
    EXPECT_EQ(escaped("a\"b\\c/d"), R"("a\"b\\c/d")");
    EXPECT_EQ(escaped("\n\r\t\b\f"), R"("\n\r\t\b\f")");
    EXPECT_EQ(escaped(std::string("\x00\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\x7f\"");
}

TEST(JsonWriterTest, ValidUtf8PassesThroughAndBadBytesBecomeReplacements) {
    const std::string good = "caf\u00e9 \u2028 \u4e2d \U0001F600";
    EXPECT_EQ(escaped(good), "\"" + good + "\"");
    const std::string bad[] = {
        "\x80",             // a lone continuation byte
        "\xc0\xaf",         // overlong
        "\xed\xa0\x80",     // a surrogate
        "\xf4\x90\x80\x80", // past U+10FFFF
        "\xe2\x82",         // cut short at the end
        "\xff",
    };
    for (const auto& b : bad) {
        const std::string q = escaped("x" + b + "y");
        EXPECT_TRUE(validJson(q)) << q;
        EXPECT_EQ(q.substr(0, 2), "\"x");
        EXPECT_NE(q.find("\xef\xbf\xbd"), std::string::npos) << q;
        EXPECT_EQ(q.substr(q.size() - 2), "y\"");
    }
    // Each bad byte is replaced on its own; the good character after it survives.
    EXPECT_EQ(escaped("\xe2\x82\xc3\xa9"), "\"\xef\xbf\xbd\xef\xbf\xbd\xc3\xa9\"");
}

TEST(JsonWriterTest, NumbersRoundTripAndNonFiniteIsNull) {
    EXPECT_EQ(number(0), "0");
    EXPECT_EQ(number(34.5), "34.5");
    EXPECT_EQ(number(6460.0 / 15), "430.6666666666667");
    EXPECT_EQ(number(-2), "-2");
    EXPECT_EQ(number(std::nan("")), "null");
    EXPECT_EQ(number(std::numeric_limits<double>::infinity()), "null");
    for (const double x : {0.1, 1e21, 5e-324, 1.7976931348623157e308, 123456789.123456789}) {
        const std::string s = number(x);
        EXPECT_TRUE(validJson(s)) << s;
        EXPECT_EQ(std::strtod(s.c_str(), nullptr), x) << s;
    }
}

TEST(JsonWriterTest, PlacesCommasAcrossNesting) {
    JsonWriter w;
    w.beginObject();
    w.key("a").beginArray().integer(1).null().beginObject().endObject().endArray();
    w.key("b").boolean(false);
    w.key("c").beginArray().endArray();
    w.endObject();
    EXPECT_EQ(w.text(), R"({"a":[1,null,{}],"b":false,"c":[]})");
}

} // namespace
