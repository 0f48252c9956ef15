#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AtomicFile.hpp"
#include "Snapshots.hpp"
#include "reports/Reports.hpp"

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

namespace fs = std::filesystem;

// The numbered lines "line 1\n" ... "line N\n".
std::string numberedLines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    return text;
}

// Feeds `transcript` to a check of `snapshot` in pieces of `piece` bytes.
SnapshotCheck check(std::stringbuf& snapshot, const std::string& transcript, std::size_t piece,
                    std::size_t window = 8) {
    SnapshotCheck result(snapshot, window);
    for (std::size_t at = 0; at < transcript.size(); at += piece) {
        result.feed(std::string_view(transcript).substr(at, piece));
    }
    result.finish();
    return result;
}

TEST(SnapshotsTest, PathsAndBannerNames) {
    EXPECT_EQ(snapshotPathOf("dir/TC01.zelk"), "dir/TC01.out");
    EXPECT_EQ(snapshotPathOf("TC01.zelk"), "TC01.out");
    EXPECT_EQ(snapshotPathOf("/dev/fd/63"), "");
    EXPECT_EQ(snapshotPathOf("dir/.zelk"), "") << "a hidden file, not a script named ''";
    EXPECT_EQ(bannerNameOf("./a//b/TC01.zelk"), "TC01.zelk");
    EXPECT_EQ(bannerNameOf("TC01.zelk"), "TC01.zelk");
}

// The same bytes match however they are cut; any difference is found, with the lines around
// it, in whichever pieces the transcript comes and wherever in the blocks it falls.
TEST(SnapshotsTest, CheckFindsTheFirstDifferenceWithItsContext) {
    const std::string snapshot = numberedLines(30000);  // several 64 KiB blocks
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{7}, std::size_t{65536}, std::size_t{1} << 20}) {
        std::stringbuf same(snapshot);
        EXPECT_FALSE(check(same, snapshot, piece).differs()) << piece;

        for (const int changed : {1, 2, 9000, 29999, 30000}) {
            std::string transcript = snapshot;
            const std::string from = "line " + std::to_string(changed) + "\n";
            transcript.replace(transcript.find(from), from.size(), "LINE X\n");
            std::stringbuf buffer(snapshot);
            const SnapshotCheck result = check(buffer, transcript, piece);
            ASSERT_TRUE(result.differs()) << changed << " by " << piece;
            const SnapshotWindow& w = result.window();
            const int context = std::min(changed - 1, 3);
            EXPECT_EQ(w.firstLine, static_cast<std::uint64_t>(changed - context)) << changed;
            ASSERT_GT(w.expected.size(), static_cast<std::size_t>(context)) << changed;
            EXPECT_EQ(w.expected[static_cast<std::size_t>(context)],
                      "line " + std::to_string(changed))
                << changed << " by " << piece;
            EXPECT_EQ(w.actual[static_cast<std::size_t>(context)], "LINE X") << changed;
            for (int k = 0; k < context; ++k) {
                EXPECT_EQ(w.expected[static_cast<std::size_t>(k)],
                          "line " + std::to_string(changed - context + k));
            }
        }
    }
}

TEST(SnapshotsTest, CheckTellsAShorterOrLongerTranscriptAndCutsItsWindow) {
    const std::string snapshot = numberedLines(100);
    std::stringbuf longer(snapshot);
    const SnapshotCheck extra = check(longer, snapshot + "line 101\nline 102\n", 13);
    ASSERT_TRUE(extra.differs());
    EXPECT_EQ(extra.window().expected,
              (std::vector<std::string>{"line 98", "line 99", "line 100"}));
    EXPECT_EQ(extra.window().actual.back(), "line 102");

    std::stringbuf shorter(snapshot);
    const SnapshotCheck missing = check(shorter, numberedLines(50), 13);
    ASSERT_TRUE(missing.differs());
    EXPECT_EQ(missing.window().actual.size(), 3U) << "only the context: the transcript ended";
    EXPECT_EQ(missing.window().expected[3], "line 51");
    EXPECT_TRUE(missing.window().cut) << "the snapshot goes on past the window";

    std::stringbuf all(snapshot);
    const SnapshotCheck different = check(all, numberedLines(100).replace(0, 1, "L"), 100, 5);
    EXPECT_EQ(different.window().expected.size(), 5U);
    EXPECT_EQ(different.window().actual.size(), 5U);
    EXPECT_TRUE(different.window().cut);
}

TEST(SnapshotsTest, LongLinesAreKeptShort) {
    const std::string longLine(100000, 'a');
    std::stringbuf snapshot("x\n" + longLine + "\n");
    const SnapshotCheck result = check(snapshot, "x\n" + longLine + "b\n", 4096);
    ASSERT_TRUE(result.differs());
    for (const std::string& line : result.window().expected) {
        EXPECT_LE(line.size(), SnapshotCheck::LineCap + 3);
    }
}

// The unified diff: a hunk head numbered in the files' lines, context marked with a blank,
// removed lines with '-', added with '+', and a bound on its length.
TEST(SnapshotsTest, DiffIsUnifiedAndBounded) {
    SnapshotWindow window;
    window.firstLine = 7;
    window.expected = {"a", "b", "c", "old", "d", "e"};
    window.actual = {"a", "b", "c", "new", "d", "e"};
    EXPECT_EQ(snapshotDiff(window, "T.out", 100),
              (std::vector<std::string>{"--- T.out", "+++ transcript", "@@ -7,6 +7,6 @@", " a",
                                        " b", " c", "-old", "+new", " d", " e"}));
    const std::vector<std::string> cut = snapshotDiff(window, "T.out", 3);
    ASSERT_EQ(cut.size(), 6U);
    EXPECT_EQ(cut.back(), "... and 5 more diff lines");
}

// A file written atomically is either the old one or the whole new one; an abandoned write
// leaves the old file and no temporary file behind.
TEST(SnapshotsTest, AtomicFileReplacesWholeOrNotAtAll) {
    const fs::path dir = fs::temp_directory_path() / "zelk-atomic";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "T.out").string();
    std::ofstream(path) << "old\n";
    {
        AtomicFile file(path);
        std::string error;
        ASSERT_TRUE(file.open(error)) << error;
        ASSERT_TRUE(file.write("half of it"));
        // destroyed without commit, as an interrupted run would leave it
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
        << "no temporary file is left";

    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, "new\nwhole\n", error)) << error;
    std::ifstream again(path);
    std::stringstream after;
    after << again.rdbuf();
    EXPECT_EQ(after.str(), "new\nwhole\n");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::others_read)
        << "the mode of any new file, not mkstemp's 0600";

    // A name too long for the temporary file beside it: a clear error, nothing written.
    const std::string longName = (dir / (std::string(250, 'n') + ".out")).string();
    EXPECT_FALSE(writeFileAtomically(longName, "x", error));
    EXPECT_EQ(error, "File name too long");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zelk::suite
