#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ByteMasks.hpp"
#include "TestSupport.hpp"
#include "Tokenizer.hpp"

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

// Views into the line, in storage reused from call to call, as the runner reuses its own.

std::vector<std::string> splitAsRunnerDoes(std::string_view line) {
    static std::vector<std::string_view> tokens;  // reused, as the runner reuses its own
    tokens.emplace_back("stale");                 // splitInto must clear what was there
    splitInto(line, tokens);
    return {tokens.begin(), tokens.end()};
}

TEST(TokenizerTest, SplitCutsAtEveryClassicWhiteSpace) {
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

TEST(TokenizerTest, SplitAgreesWithStreamExtractionOnRandomLines) {
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

TEST(TokenizerTest, StripCommentCutsAtTheFirstHashAndKeepsWhiteSpace) {
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

// Words that share a length and first and last letters share a home slot; in a table of

// eight slots they also run past its end and wrap round. Every one must still be found, in

// any case, and nothing else.

// The block forms of the byte classes agree with isBlank and '\n' for every byte value, at

// every position of their block.

// The line feed count of every length up to a few blocks past the 255-block batches, with
// line feeds at pseudo-random places.
TEST(TokenizerTest, NewlineCountAgreesWithCountingByteByByte) {
    PseudoRandom random(31);
    std::string text;
    for (std::size_t i = 0; i < std::size_t{16} * 300; ++i) {
        text += random(3) == 0 ? '\n' : static_cast<char>('a' + random(26));
    }
    for (std::size_t size = 0; size <= text.size(); size += size < 64 ? 1 : 61) {
        EXPECT_EQ(countNewlines(text.data(), size),
                  static_cast<std::size_t>(std::count(
                      text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size), '\n')))
            << size;
    }
    const std::string feeds(16 * 256 + 5, '\n');  // a lane that counts 255 blocks of feeds
    EXPECT_EQ(countNewlines(feeds.data(), feeds.size()), feeds.size());
}

TEST(TokenizerTest, ByteMasksAgreeWithTheByteClassesEverywhere) {
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

TEST(TokenizerTest, BlankOrCommentLineSettlesTheCommonLinesAtAGlance) {
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

TEST(TokenizerTest, BlankOrCommentLineAgreesWithTheTokenizer) {
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
        splitInto(stripCommentView(line.view()), tokens);
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
