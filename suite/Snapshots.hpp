#pragma once

// Snapshot transcripts: a script NAME.zelk may have beside it NAME.out, the whole transcript
// it is expected to print, which a run compares byte for byte. The snapshot's banner names
// the script by its file name, as zelk_simulator NAME.zelk prints it in the script's folder,
// so a snapshot does not depend on where the suite was started or how the path was spelled.
//
// A comparison is streamed: the transcript is checked as it is written, against the
// snapshot read in blocks; from the first difference on, a window of lines of each side is
// kept for the diff, and nothing more. Memory does not grow with either file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "AtomicFile.hpp"
#include "FileSource.hpp"
#include "Options.hpp"
#include "Script.hpp"

namespace zelk::suite {

// The snapshot of the script at `scriptPath`: NAME.out beside NAME.zelk; none (empty) for a
// path that does not end in .zelk (a pipe, say).
std::string snapshotPathOf(std::string_view scriptPath);
// The name a snapshot's banner gives the script: its file name.
std::string bannerNameOf(std::string_view scriptPath);

// The lines around the first difference between a snapshot and a transcript.
struct SnapshotWindow {
    std::uint64_t firstLine = 1;        // the number of the first line kept, in both
    std::vector<std::string> expected;  // the snapshot's lines from there
    std::vector<std::string> actual;    // the transcript's
    bool cut = false;                   // one side went on past the window
};

// The two blocks a check reads a snapshot into: kept by a worker for all its scripts.
struct SnapshotBuffers {
    static constexpr std::size_t BlockSize = std::size_t{64} * 1024;
    std::unique_ptr<char[]> current = std::make_unique_for_overwrite<char[]>(BlockSize);
    std::unique_ptr<char[]> previous = std::make_unique_for_overwrite<char[]>(BlockSize);
};

// Checks a transcript, as it is written, against the snapshot read from `snapshot`.
class SnapshotCheck {
public:
    // Keeps at most `windowLines` lines of each side from the first difference on, and
    // `context` equal lines before it; each line at most LineCap bytes. Reads through
    // `buffers`, which must outlive the check; without them it has its own.
    SnapshotCheck(std::streambuf& snapshot, std::size_t windowLines, std::size_t context = 3,
                  SnapshotBuffers* buffers = nullptr);

    void feed(std::string_view transcript);
    // The transcript has ended.
    void finish();

    bool differs() const { return differs_; }
    // Why the snapshot could not be read to its end, if it could not (it then differs).
    const std::string& readError() const { return readError_; }
    const SnapshotWindow& window() const { return window_; }

    static constexpr std::size_t LineCap = 4096;

private:
    bool refill();
    // The first difference, at `offset` bytes into the snapshot's block, `rest` being the
    // transcript from there.
    void diverge(std::string_view rest);
    void collectActual(std::string_view bytes);
    static void appendCapped(std::string& line, std::string_view bytes);
    void closeLine(std::vector<std::string>& lines, std::string& open);

    std::streambuf& snapshot_;
    std::size_t windowLines_;
    std::size_t context_;
    std::unique_ptr<SnapshotBuffers> own_;  // unless the caller lends its own
    SnapshotBuffers& buffers_;
    std::string_view block_;         // the snapshot block being compared, in buffers_.current
    std::string_view previous_;      // the one before it, for the lines before a difference
    std::size_t pos_ = 0;            // in block_
    std::uint64_t blockOffset_ = 0;  // of block_ in the snapshot
    bool snapshotEnded_ = false;
    std::uint64_t lines_ = 0;  // complete lines found equal
    bool differs_ = false;
    std::string readError_;
    SnapshotWindow window_;
    std::string openActual_;  // the transcript's line being collected
    bool actualFull_ = false;
};

// The unified diff of the lines around a snapshot's first difference: "--- NAME.out",
// "+++ transcript", then hunks with three lines of context, at most `maxLines` of them (then
// "... and K more diff lines"). Computed with the dtl library.
std::vector<std::string> snapshotDiff(const SnapshotWindow& window, std::string_view snapshotName,
                                      std::size_t maxLines);

// What a run does with one script's snapshot, decided before the script runs.
struct SnapshotPlan {
    std::string path;                    // empty: the script has none to compare or write
    std::string name;                    // its file name, in messages
    std::optional<SnapshotCheck> check;  // the snapshot exists: compare with it
    std::optional<AtomicFile> writer;  // write it: missing (new, all), or possibly differing (all)
    std::string problem;               // a failure known before the run
};

// The plan for `entry` under `mode`; the snapshot, if compared, is read through `source`,
// with a diff window of `windowLines` lines.
void planSnapshot(SnapshotPlan& plan, const ScriptEntry& entry, SnapshotMode mode,
                  FileSource& source, SnapshotBuffers& buffers, std::size_t windowLines);
// After the run: the comparison's verdict, the snapshot written or renamed into place (or
// left as it was), and what the result says of it. A script whose snapshot differs (and
// is not rewritten) or failed does not pass.
void settleSnapshot(SnapshotPlan& plan, ScriptResult& result, std::size_t diffLines);

}  // namespace zelk::suite
