#include <chrono>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.hpp"
#include "TextHelpers.hpp"

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

TEST(TextHelpersTest, BoolTokenAcceptsTheFourteenWordsInAnyCase) {
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

TEST(TextHelpersTest, BoolTokenRejectsAnythingElseAndLeavesOutAlone) {
    for (const char* token : {"2", "yes!", "t", "none", "", " 1", "1 ", "ye", "onn", "-1"}) {
        for (bool previous : {true, false}) {
            bool out = previous;
            EXPECT_FALSE(parseBoolToken(token, out)) << '"' << token << '"';
            EXPECT_EQ(out, previous) << '"' << token << '"';
        }
    }
}

TEST(TextHelpersTest, WordsProducedAreAcceptedBackWithTheirMeaning) {
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

TEST(TextHelpersTest, IntTokenAcceptsWholeDecimalIntsOnly) {
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

// Views into the line, in storage reused from call to call, as the runner reuses its own.
std::vector<std::string> splitAsRunnerDoes(std::string_view line) {
    static std::vector<std::string_view> tokens;  // reused, as the runner reuses its own
    tokens.emplace_back("stale");                 // splitViews must clear what was there
    splitViews(line, tokens);
    return {tokens.begin(), tokens.end()};
}

TEST(TextHelpersTest, SplitCutsAtEveryClassicWhiteSpace) {
    struct Case {
        std::string line;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"  battery   50  ", {"battery", "50"}},
        {"\t\t\t", {}},
        {"", {}},
        {"a\tb\vc\fd\re\nf", {"a", "b", "c", "d", "e", "f"}},
        {"expect \"mode\" x", {"expect", "\"mode\"", "x"}},
        {std::string("nul\0byte x", 10), {std::string("nul\0byte", 8), "x"}},
        {"caf\xc3\xa9 ok", {"caf\xc3\xa9", "ok"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitAsRunnerDoes(c.line), c.tokens) << '"' << c.line << '"';
        EXPECT_EQ(split(c.line), c.tokens) << '"' << c.line << '"';
    }
}

// Lines of up to 80 bytes, so that tokens begin, end and run across the tokenizer's 16-byte
// blocks at every place, against a stream's word extraction (the same white space), read
// with exact and with padded storage.
TEST(TextHelpersTest, SplitAgreesWithStreamExtractionOnRandomLines) {
    const std::string_view alphabet(" \t\n\v\f\rab\0\xe9xyz  ", 15);
    PseudoRandom random(777);
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        for (std::uint32_t i = random(81); i > 0; --i) {
            line += alphabet[random(static_cast<std::uint32_t>(alphabet.size()))];
        }
        std::istringstream words(line);
        std::vector<std::string> expected;
        for (std::string word; words >> word;) {
            expected.push_back(word);
        }
        ASSERT_EQ(splitAsRunnerDoes(line), expected) << '"' << line << '"';

        // The runner's lines are Padded: read in whole blocks past their end, where other
        // bytes (here token bytes) follow.
        const std::string storage = line + std::string(ChunkSize, 'z');
        std::vector<std::string_view> padded;
        splitInto(std::string_view(storage.data(), line.size()), padded, Storage::Padded);
        ASSERT_EQ(std::vector<std::string>(padded.begin(), padded.end()), expected)
            << '"' << line << '"';
    }
}

TEST(TextHelpersTest, StripCommentCutsAtTheFirstHashAndKeepsWhiteSpace) {
    struct Case {
        const char* line;
        const char* stripped;
    };
    const Case cases[] = {
        {"power # press it", "power "},
        {"# only a comment", ""},
        {"mode#2", "mode"},
        {"a # b # c", "a "},
        {"expect power on # first # second", "expect power on "},
        {"x#y#z", "x"},
        {"##", ""},
        {"no comment", "no comment"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stripCommentView(c.line), c.stripped) << c.line;
        EXPECT_EQ(stripComment(c.line), c.stripped) << c.line;
    }
}

TEST(TextHelpersTest, ToLowerChangesAsciiLettersOnly) {
    EXPECT_EQ(toLower("PoWeR-Tick_9"), "power-tick_9");
    // The UTF-8 bytes of a non-ASCII letter pass through unchanged.
    EXPECT_EQ(toLower("MODE\xc3\x89"), "mode\xc3\x89");
    EXPECT_EQ(toLower(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(TextHelpersTest, DurationTokens) {
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

// Words that share a length and first and last letters share a home slot; in a table of
// eight slots they also run past its end and wrap round. Every one must still be found, in
// any case, and nothing else.
TEST(TextHelpersTest, WordIndexFindsCollidingWordsInAnyCaseAndNothingElse) {
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

// The block forms of the byte classes agree with isBlank and '\n' for every byte value, at
// every position of their block.
TEST(TextHelpersTest, ByteMasksAgreeWithTheByteClassesEverywhere) {
    for (int value = 0; value < 256; ++value) {
        const char ch = static_cast<char>(value);
        for (unsigned at = 0; at < 64; ++at) {
            std::string block(64, '\n');
            block[at] = ch;
            const std::uint64_t feeds = newlineBits64(block.data());
            EXPECT_EQ((feeds >> at) & 1U, ch == '\n' ? 1U : 0U) << value << " at " << at;
            EXPECT_EQ(feeds | (std::uint64_t{1} << at), ~std::uint64_t{0}) << value << " at " << at;

            std::string blanks(16, ' ');
            blanks[at % 16] = ch;
            const unsigned words = nonBlankBits16(blanks.data());
            EXPECT_EQ(words, isBlank(ch) ? 0U : 1U << (at % 16)) << value << " at " << at % 16;
        }
    }
}

// A line with its padding after it, as the runner stores lines: `after` first, then zeros.
struct PaddedLine {
    PaddedLine(std::string_view line, std::string_view after = {})
        : storage(std::string(line) + std::string(after) + std::string(ChunkSize, '\0')),
          size(line.size()) {}
    std::string_view view() const { return {storage.data(), size}; }
    std::string storage;
    std::size_t size;
};

TEST(TextHelpersTest, BlankOrCommentLineSettlesTheCommonLinesAtAGlance) {
    const std::string blanks32(32, ' ');
    struct Case {
        std::string line;
        std::string after;  // what the storage holds past the line: the next line, say
        bool noTokens;
    };
    const Case cases[] = {
        {"", "\npower", true},  // an empty line as the reader hands it out: on its line feed
        {"", "power", false},   // not settled by the byte after an empty line

        {"   ", "\n  expect x", true},
        {" \t\v\f\r", "", true},
        {"#", "", true},
        {"# power", "", true},
        {"\t  # expect power on", "", true},
        {blanks32 + "#", "", true},  // the '#' is the 33rd byte
        {std::string(31, ' ') + "#x", "", true},
        {"power", "", false},
        {" power # press", "", false},
        {"x#", "", false},
        {std::string(31, ' ') + "x", "", false},
        {blanks32 + "x", "", false},
        {blanks32 + " #", "", false},  // not settled: the full path finds no tokens
        {"  ", "#", true},             // a '#' past the end is not the line's
        {"  ", "x", true},             // nor a token
        {std::string("\0#", 2), "", false},
    };
    for (const Case& c : cases) {
        const PaddedLine line(c.line, c.after);
        EXPECT_EQ(blankOrCommentLine(line.view()), c.noTokens) << '"' << c.line << '"';
    }
}

// Never true for a line with tokens, and true for every line without tokens that is not empty
// and whose first 33 bytes decide it. Pseudo-random lines of blanks, '#', letters and NUL bytes,
// with random bytes after them.
TEST(TextHelpersTest, BlankOrCommentLineAgreesWithTheTokenizer) {
    const std::string_view alphabet(" \t\r\v#a\0 ", 8);
    PseudoRandom random(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const std::uint32_t size = random(48);
        for (std::uint32_t i = 0; i < size; ++i) {
            text += alphabet[random(static_cast<std::uint32_t>(alphabet.size()))];
        }
        std::string after;
        for (std::uint32_t i = random(4); i > 0; --i) {
            after += alphabet[random(static_cast<std::uint32_t>(alphabet.size()))];
        }
        const PaddedLine line(text, after);
        std::vector<std::string_view> tokens;
        splitViews(stripCommentView(line.view()), tokens);
        const std::size_t first = text.find_first_not_of(" \t\r\v\f\n");
        const bool decided = size > 0 && (first == std::string::npos ? size <= 32 : first <= 32);
        if (blankOrCommentLine(line.view())) {
            EXPECT_TRUE(tokens.empty()) << '"' << text << '"';
        } else if (decided) {
            EXPECT_FALSE(tokens.empty()) << '"' << text << '"';
        }
    }
}

}  // namespace
}  // namespace zelk::sim
