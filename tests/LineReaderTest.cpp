#include <algorithm>
#include <cstddef>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "ByteMasks.hpp"
#include "LineReader.hpp"

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

// A stream buffer that hands out its data a few bytes per underflow and tells nothing in
// advance (in_avail() is 0 until a read), as a pipe's does; it can throw after `failAt` bytes,
// as a disk or /proc file can fail part way.
class TrickleBuffer : public std::streambuf {
public:
    TrickleBuffer(std::string data, std::size_t step, std::size_t failAt = std::string::npos)
        : data_(std::move(data)), step_(step), failAt_(failAt) {}

    std::size_t handedOut() const { return pos_; }

protected:
    int_type underflow() override {
        if (pos_ >= failAt_) {
            throw std::ios_base::failure("read error");
        }
        if (pos_ >= data_.size()) {
            return traits_type::eof();
        }
        const std::size_t size = std::min({step_, data_.size() - pos_, failAt_ - pos_});
        char* const begin = data_.data() + pos_;
        setg(begin, begin, begin + size);
        pos_ += size;
        return traits_type::to_int_type(*begin);
    }

private:
    std::string data_;
    std::size_t step_;
    std::size_t failAt_;
    std::size_t pos_ = 0;
};

// An endless stream of one byte and no line feed, as /dev/zero is, generated as it is read.
class EndlessBuffer : public std::streambuf {
public:
    explicit EndlessBuffer(char byte) : chunk_(std::size_t{64} * 1024, byte) {}
    std::size_t handedOut() const { return handedOut_; }

protected:
    int_type underflow() override {
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        handedOut_ += chunk_.size();
        return traits_type::to_int_type(chunk_[0]);
    }

private:
    std::string chunk_;
    std::size_t handedOut_ = 0;
};

// Every line of `source`, each checked to have ChunkSize readable bytes after it (the address
// sanitizer reports a read past the storage).
std::vector<std::string> readAll(std::streambuf* source, LineReader::End* end = nullptr,
                                 std::size_t* blocks = nullptr) {
    std::size_t afterBlock = 0;
    LineReader reader(source, [&afterBlock] { ++afterBlock; });
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line)) {
        volatile char padding = line.data()[line.size() + ChunkSize - 1];
        static_cast<void>(padding);
        lines.emplace_back(line);
    }
    if (end != nullptr) {
        *end = reader.end();
    }
    if (blocks != nullptr) {
        *blocks = afterBlock;
    }
    return lines;
}

// The lines of a text split at '\n', the last without one kept if not empty.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t feed = text.find('\n', pos);
        if (feed == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, feed - pos));
        pos = feed + 1;
    }
    return lines;
}

// Lines of every length around the 64-byte windows and the 64 KiB blocks, one across several
// blocks, an empty one at each end; read from a string and from a pipe-like buffer that hands
// out 1, 7 or 4096 bytes at a time.
TEST(LineReaderTest, LinesAcrossWindowsAndBlocksComeOutWhole) {
    std::string text = "\nfirst\n";
    for (std::size_t size = 0; size < 200; ++size) {
        text += std::string(size, static_cast<char>('a' + size % 26)) + "\n";
    }
    // Up to the end of the first block exactly, so that the next line starts a block.
    text += std::string(LineReader::BlockSize - text.size() - 1, 'x') + "\n";
    text += std::string(3 * LineReader::BlockSize + 17, 'y') + "\n";  // across four blocks
    text += "\n\nlast without a line feed";
    const std::vector<std::string> expected = linesOf(text);

    std::stringbuf whole(text);
    EXPECT_EQ(readAll(&whole), expected);
    for (const std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
        TrickleBuffer pipe(text, step);
        LineReader::End end = LineReader::End::None;
        EXPECT_EQ(readAll(&pipe, &end), expected) << step << " bytes at a time";
        EXPECT_EQ(end, LineReader::End::Input) << step;
    }
}

// A pipe tells nothing before its first byte arrives: the reader must look again once the
// buffer has data, or a script from a pipe would read as empty.
TEST(LineReaderTest, APipeThatTellsNothingInAdvanceIsStillRead) {
    TrickleBuffer pipe("power\nstart\n", 64);
    EXPECT_EQ(readAll(&pipe), (std::vector<std::string>{"power", "start"}));
}

TEST(LineReaderTest, EmptyAndMissingInputsHaveNoLines) {
    std::stringbuf empty;
    LineReader::End end = LineReader::End::None;
    EXPECT_TRUE(readAll(&empty, &end).empty());
    EXPECT_EQ(end, LineReader::End::Input);
    EXPECT_TRUE(readAll(nullptr, &end).empty());
    EXPECT_EQ(end, LineReader::End::Input);
}

// The lines read before the failure are kept; the line the failure cut short is not handed
// out, and the end says why.
TEST(LineReaderTest, ReadErrorPartWayKeepsTheLinesBeforeIt) {
    const std::string text = "power\nstart\nexpect mode Norm";
    for (const std::size_t step : {std::size_t{1}, std::size_t{5}, std::size_t{100}}) {
        TrickleBuffer failing(text, step, text.size());
        LineReader::End end = LineReader::End::None;
        EXPECT_EQ(readAll(&failing, &end), (std::vector<std::string>{"power", "start"})) << step;
        EXPECT_EQ(end, LineReader::End::ReadError) << step;
    }
}

TEST(LineReaderTest, AfterBlockIsToldOfEachBlockRead) {
    const std::string text(2 * LineReader::BlockSize + 10, '\n');
    std::stringbuf whole(text);
    std::size_t blocks = 0;
    EXPECT_EQ(readAll(&whole, nullptr, &blocks).size(), text.size());
    EXPECT_EQ(blocks, 3U);
    TrickleBuffer pipe("a\nb\nc\n", 2);
    readAll(&pipe, nullptr, &blocks);
    EXPECT_EQ(blocks, 3U) << "a pipe that hands out one line at a time: a block per line";
}

// The longest line is read; one byte more ends the reading without keeping more than the
// bound in memory.
TEST(LineReaderTest, ALineHasABound) {
    const std::string longest(LineReader::MaxLineSize, 'x');
    std::stringbuf fits(longest + "\nnext\n");
    LineReader::End end = LineReader::End::None;
    const std::vector<std::string> lines = readAll(&fits, &end);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0].size(), LineReader::MaxLineSize);
    EXPECT_EQ(lines[1], "next");

    for (const std::string& tail : {std::string("x\nnext\n"), std::string("x")}) {
        std::string text = "first\n";
        text += longest;
        text += tail;
        std::stringbuf over(text);
        EXPECT_EQ(readAll(&over, &end), std::vector<std::string>{"first"});
        EXPECT_EQ(end, LineReader::End::LineTooLong);
    }
}

// An endless stream without a line feed (/dev/zero) stops at the bound: it is read no
// further than one block past it.
TEST(LineReaderTest, AnEndlessLineStopsAtTheBound) {
    EndlessBuffer zeros('\0');
    LineReader::End end = LineReader::End::None;
    EXPECT_TRUE(readAll(&zeros, &end).empty());
    EXPECT_EQ(end, LineReader::End::LineTooLong);
    EXPECT_LE(zeros.handedOut(), LineReader::MaxLineSize + 2 * LineReader::BlockSize);
}

}  // namespace
}  // namespace zelk::sim
