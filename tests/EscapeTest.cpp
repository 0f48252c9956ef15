#include <string>

#include "Escape.hpp"

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

TEST(EscapeTest, Utf8RepairTable) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::string bad = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"plain/path.zelk", "plain/path.zelk"},
        {"caf\xC3\xA9 \xE2\x86\x92 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x86\x92 \xF0\x9F\x98\x80"},
        {"\xFF", bad},
        {"a\xC3", "a" + bad},                         // truncated sequence at the end
        {"\xC0\xAF", bad + bad},                      // overlong form of '/'
        {"\xED\xA0\x80", bad + bad + bad},            // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", bad + bad + bad + bad},  // beyond U+10FFFF
        {"\xE2\x86x", bad + bad + "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toValidUtf8(c.in), c.out) << c.in;
    }
}

TEST(EscapeTest, JsonStrings) {
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("line\nbreak\ttab\rcr"), "\"line\\nbreak\\ttab\\rcr\"");
    EXPECT_EQ(jsonString(std::string("nul\0x", 5)), "\"nul\\u0000x\"");
    EXPECT_EQ(jsonString("\x1F"), "\"\\u001f\"");
    EXPECT_EQ(jsonString("<&>'"), "\"<&>'\"");
    EXPECT_EQ(jsonString("\xFE"), "\"\xEF\xBF\xBD\"");
}

TEST(EscapeTest, XmlTextAndAttributes) {
    EXPECT_EQ(xmlText("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(xmlText("one\ntwo\tx\ry"), "one\ntwo\tx&#13;y");
    EXPECT_EQ(xmlAttribute("one\ntwo\tx"), "one&#10;two&#9;x");
    // XML 1.0 cannot hold these at all, escaped or not.
    EXPECT_EQ(xmlText(std::string("\0\x01\x7F", 3)), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(xmlText("\xEF\xBF\xBF"), "\xEF\xBF\xBD");
    EXPECT_EQ(xmlAttribute("]]>"), "]]&gt;");
}

}  // namespace
}  // namespace zelk::suite
