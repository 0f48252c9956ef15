#include <cstddef>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>

#include "ByteMasks.hpp"
#include "Transcript.hpp"

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

using namespace std::string_view_literals;

TEST(TranscriptTest, LineCounterWritesEveryNumberAsDecimalText) {
    LineCounter counter;
    EXPECT_EQ(counter.value(), 0U);
    for (std::uint64_t number = 1; number <= 120000; ++number) {
        counter.next();
        ASSERT_EQ(counter.value(), number);
        std::string out(counter.size() + ChunkSize, '?');
        const char* const end = counter.write(out.data());
        ASSERT_EQ(std::string_view(out.data(), static_cast<std::size_t>(end - out.data())),
                  std::to_string(number));
        ASSERT_LE(static_cast<std::size_t>(end - out.data()), counter.size());
    }
}

TEST(TranscriptTest, NumberTextOfTheExtremes) {
    EXPECT_EQ(NumberText(0).view(), "0");
    EXPECT_EQ(NumberText(-7).view(), "-7");
    EXPECT_EQ(NumberText(std::numeric_limits<long long>::min()).view(), "-9223372036854775808");
    EXPECT_EQ(NumberText(std::numeric_limits<long long>::max()).view(), "9223372036854775807");
}

// Appends in every form, without any reserve: the block grows as they need, and the output
// is exactly what was appended, in order, once flushed.
TEST(TranscriptTest, AppendsGrowTheBlockAndFlushInOrder) {
    std::ostringstream out;
    std::string expected;
    {
        Transcript transcript(out);
        LineCounter number;
        const std::string big(300000, 'b');  // far more than the block holds at first
        const std::string padded = "chunked text" + std::string(ChunkSize, '\0');
        for (std::size_t i = 0; i < 50; ++i) {
            number.next();
            transcript.write("line "sv, number, ' ', std::string_view(big).substr(0, i * 997),
                             '\n');
            transcript.putChunked(std::string_view(padded.data(), 12));
            transcript.put('\n');
            expected += "line " + std::to_string(i + 1) + " " + big.substr(0, i * 997) + "\n" +
                        "chunked text\n";
            transcript.flushIfFull();
        }
        transcript.flush();
    }
    EXPECT_EQ(out.str().size(), expected.size());
    EXPECT_TRUE(out.str() == expected);
}

TEST(TranscriptTest, FlushIfFullWritesOnlyAFullBlock) {
    std::ostringstream out;
    Transcript transcript(out);
    transcript.put("short"sv);
    transcript.flushIfFull();
    EXPECT_EQ(out.str(), "") << "a block that is not full stays";
    const std::string large(std::size_t{100} * 1024, 'x');
    transcript.reserve(large.size());
    transcript.put(large);
    transcript.flushIfFull();
    EXPECT_EQ(out.str(), "short" + large);
    transcript.flush();
    EXPECT_EQ(out.str(), "short" + large) << "nothing is written twice";
}

// What a line wrote can be read back from its mark until the next reserve, even when an
// append in between grew the block.
TEST(TranscriptTest, MarkedTextSurvivesGrowth) {
    std::ostringstream out;
    Transcript transcript(out);
    transcript.put("before "sv);
    const std::size_t mark = transcript.mark();
    const std::string long_(20000, 'L');
    transcript.write("ERROR line=3 "sv, std::string_view(long_));
    EXPECT_EQ(transcript.text(mark), "ERROR line=3 " + long_);
}

}  // namespace
}  // namespace zelk::sim
