#include <chrono>
#include <iterator>
#include <string>
#include <string_view>

#include "AsciiCase.hpp"
#include "Protocol.hpp"
#include "TokenParsers.hpp"
#include "WordIndex.hpp"

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

TEST(TokenParsersTest, BoolTokenAcceptsTheFourteenWordsInAnyCase) {
    struct Case {
        const char* token;
        bool value;
    };
    const Case cases[] = {
        {"1", true},         {"true", true},   {"on", true},      {"yes", true},
        {"y", true},         {"active", true}, {"blocked", true}, {"0", false},
        {"false", false},    {"off", false},   {"no", false},     {"n", false},
        {"inactive", false}, {"clear", false}, {"BLOCKED", true}, {"Clear", false},
        {"Y", true},         {"N", false},     {"TrUe", true},    {"OFF", false},
    };
    for (const Case& c : cases) {
        // Start from the opposite value so that a missing write shows.
        bool out = !c.value;
        EXPECT_TRUE(parseBoolToken(c.token, out)) << c.token;
        EXPECT_EQ(out, c.value) << c.token;
    }
}

TEST(TokenParsersTest, BoolTokenRejectsAnythingElseAndLeavesOutAlone) {
    for (const char* token : {"2", "yes!", "t", "none", "", " 1", "1 ", "ye", "onn", "-1"}) {
        for (bool previous : {true, false}) {
            bool out = previous;
            EXPECT_FALSE(parseBoolToken(token, out)) << '"' << token << '"';
            EXPECT_EQ(out, previous) << '"' << token << '"';
        }
    }
}

TEST(ProtocolTest, WordsProducedAreAcceptedBackWithTheirMeaning) {
    for (bool value : {true, false}) {
        for (const std::string& word : {boolText(value), onOff(value), activeInactive(value)}) {
            bool out = !value;
            EXPECT_TRUE(parseBoolToken(word, out)) << word;
            EXPECT_EQ(out, value) << word;
        }
    }
    EXPECT_EQ(boolText(true), "true");
    EXPECT_EQ(onOff(false), "off");
    EXPECT_EQ(activeInactive(false), "inactive");
}

TEST(TokenParsersTest, IntTokenAcceptsWholeDecimalIntsOnly) {
    struct Case {
        const char* token;
        bool ok;
        int value;
    };
    const Case cases[] = {
        {"42", true, 42},
        {"+42", true, 42},
        {"-7", true, -7},
        {"007", true, 7},
        {"0", true, 0},
        {"-0", true, 0},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"+2147483647", true, 2147483647},
        {"00000000000000000000042", true, 42},
        {" 5", true, 5},  // leading white space is skipped, as by the C conversion
        {"\t-5", true, -5},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999", false, 0},
        {"4x", false, 0},
        {"4.0", false, 0},
        {"0x10", false, 0},
        {"1e3", false, 0},
        {"", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"+-5", false, 0},
        {"-+5", false, 0},
        {"++5", false, 0},
        {"5 ", false, 0},
        {"50%", false, 0},
        {"\xef\xbc\x95", false, 0},  // a full-width digit is no digit
    };
    for (const Case& c : cases) {
        int out = 12345;
        EXPECT_EQ(parseIntToken(c.token, out), c.ok) << '"' << c.token << '"';
        EXPECT_EQ(out, c.ok ? c.value : 12345) << '"' << c.token << '"';
    }
}

TEST(AsciiCaseTest, ToLowerChangesAsciiLettersOnly) {
    EXPECT_EQ(toLower("PoWeR-Tick_9"), "power-tick_9");
    // The UTF-8 bytes of a non-ASCII letter pass through unchanged.
    EXPECT_EQ(toLower("MODE\xc3\x89"), "mode\xc3\x89");
    EXPECT_EQ(toLower(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(TokenParsersTest, DurationTokens) {
    struct Case {
        const char* token;
        long long milliseconds;  // -1: rejected
    };
    const Case cases[] = {
        {"5s", 5000},
        {"4999ms", 4999},
        {"250", 250},
        {"1S", 1000},
        {"7Ms", 7},
        {"0", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483647ms", 2147483647},
        {"2147483s", 2147483000},
        {"2147483648", -1},
        {"2147484s", -1},
        {"99999999999999999999999", -1},
        {"", -1},
        {"s", -1},
        {"ms", -1},
        {"-1", -1},
        {"+5", -1},
        {" 5", -1},
        {"5 ", -1},
        {"1.5s", -1},
        {"5m", -1},
        {"5h", -1},
        {"5sec", -1},
        {"5mss", -1},
        {"0x10", -1},
    };
    for (const Case& c : cases) {
        std::chrono::milliseconds out{-42};
        const bool parsed = parseDurationToken(c.token, out);
        EXPECT_EQ(parsed, c.milliseconds >= 0) << '"' << c.token << '"';
        EXPECT_EQ(out.count(), parsed ? c.milliseconds : -42) << '"' << c.token << '"';
    }
}

TEST(WordIndexTest, WordIndexFindsCollidingWordsInAnyCaseAndNothingElse) {
    // All four start at slot 6 of 8: the last two wrap round to slots 0 and 1.
    const std::string_view words[] = {"abf", "axf", "a-f", "AZF"};
    const int values[] = {0, 1, 2, 3};
    WordIndex<int, 8> index;
    for (std::size_t i = 0; i < std::size(words); ++i) {
        index.add(words[i], &values[i]);
    }
    struct Case {
        std::string_view word;
        const int* value;
    };
    const Case cases[] = {
        {"abf", &values[0]}, {"ABF", &values[0]}, {"aXf", &values[1]}, {"A-F", &values[2]},
        {"azf", &values[3]}, {"ayf", nullptr},    {"ab", nullptr},     {"abff", nullptr},
        {"", nullptr},       {"a f", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(index.find(c.word), c.value) << '"' << c.word << '"';
    }
}

}  // namespace
}  // namespace zelk::sim
