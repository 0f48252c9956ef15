#include <string>

#include "reports/Escape.hpp"

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

// Every boundary of the UTF-8 table: the lead-byte ranges (C2-DF, E0-EF, F0-F4), the second
// byte's narrower ranges after E0, ED, F0 and F4, the continuation range 80-BF, and each
// length cut short. Valid sequences pass unchanged; each byte of an invalid one that does not
// start a valid sequence becomes U+FFFD.
TEST(EscapeTest, Utf8TableAtEveryBoundary) {
    struct Case {
        std::string in;
        bool valid;
    };
    const Case cases[] = {
        {"\x7F", true},
        {"\x80", false},
        {"\xC1\xBF", false},  // overlong: C0 and C1 never lead
        {"\xC2\x80", true},
        {"\xDF\xBF", true},
        {"\xC2\x7F", false},
        {"\xC2\xC0", false},
        {"\xE0\x9F\x80", false},  // overlong three-byte form
        {"\xE0\xA0\x80", true},
        {"\xE0\xBF\xBF", true},
        {"\xE1\x80\x80", true},
        {"\xE1\x7F\x80", false},
        {"\xEC\xBF\xBF", true},
        {"\xED\x9F\xBF", true},   // the last before the surrogates
        {"\xED\xA0\x80", false},  // the first surrogate
        {"\xEE\x80\x80", true},
        {"\xEF\xBF\xBD", true},
        {"\xE1\x80\xC0", false},  // a third byte past the continuation range
        {"\xE1\x80\x7F", false},
        {"\xF0\x8F\xBF\xBF", false},  // overlong four-byte form
        {"\xF0\x90\x80\x80", true},
        {"\xF1\x80\x80\x80", true},
        {"\xF3\xBF\xBF\xBF", true},
        {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
        {"\xF4\x90\x80\x80", false},  // beyond it
        {"\xF5\x80\x80\x80", false},
        {"\xFF", false},
        {"\xF0\x90\x80\x7F", false},  // a fourth byte out of range
        {"\xC2", false},              // each length cut short at the end
        {"\xE1\x80", false},
        {"\xF1\x80\x80", false},
    };
    const std::string bad = "\xEF\xBF\xBD";
    for (const Case& c : cases) {
        const std::string out = toValidUtf8(c.in + "x");
        if (c.valid) {
            EXPECT_EQ(out, c.in + "x") << testing::PrintToString(c.in);
        } else {
            EXPECT_TRUE(out.starts_with(bad)) << testing::PrintToString(c.in);
            EXPECT_TRUE(out.ends_with("x")) << testing::PrintToString(c.in);
            EXPECT_EQ(out.find(c.in), std::string::npos) << testing::PrintToString(c.in);
        }
    }
}

// A sequence cut short by the end of the text is invalid even where the bytes after the end
// (here, of a longer text the view is part of) would complete it.
TEST(EscapeTest, Utf8SequenceCutByTheEndOfAViewIsInvalid) {
    const std::string whole = "a\xF1\x80\x80\x80";
    const std::string bad = "\xEF\xBF\xBD";
    EXPECT_EQ(toValidUtf8(std::string_view(whole).substr(0, 4)), "a" + bad + bad + bad);
    EXPECT_EQ(toValidUtf8(std::string_view(whole).substr(0, 2)), "a" + bad);
    EXPECT_EQ(toValidUtf8(whole), whole);
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
