#pragma once

// A script of a suite and what became of its run: what the suite's runner, its snapshots and
// its reports all speak of.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zelk::suite {

// A script to run: its path as found, and the name its transcript is written under.
struct ScriptEntry {
    std::string path;
    std::string transcriptName;  // relative to the directory that found it, without .zelk
    bool regularFile = false;    // known to be one: found by a directory search
    // Whether the directory search saw the script's snapshot (NAME.out) beside it; a script
    // named as an argument is looked at when it runs.
    enum class Snapshot { Unknown, Present, Absent } snapshot = Snapshot::Unknown;
};

// A path that is reported as failed without being run: a directory that could not be
// searched, or a *.zelk that is not a script (a FIFO, a device, a socket, a dangling link).
// Never skipped silently.
struct DiscoveryError {
    std::string path;
    std::string reason;  // "cannot search directory: ...", "not a script: a FIFO", ...
};

// An ERROR or EXPECT_FAIL line of a transcript, with its script line number.
struct Problem {
    std::uint64_t line;
    std::string text;
};

// What became of a script's snapshot.
enum class SnapshotStatus {
    None,     // none was compared or written
    Matched,  // the transcript is the snapshot, byte for byte
    Differs,  // it is not: the script fails
    Written,  // a missing snapshot was written (--snapshots=new, all)
    Updated,  // a snapshot that differed was rewritten (--snapshots=all)
    Failed,   // missing where one is required, or one that could not be read or written
};

struct ScriptResult {
    std::string path;
    bool skipped = false;  // never started (--fail-fast)
    bool opened = false;
    std::string openError;  // why the script could not be read
    bool expectFailure = false;
    bool resultPass = false;         // the transcript's verdict
    bool passed = false;             // the verdict was the expected one
    std::vector<Problem> problems;   // the first of them, at most RunSettings::maxProblems
    std::uint64_t moreProblems = 0;  // and how many more there were
    std::string stopReason;          // why the script could not run to its end, if it could not
    std::chrono::duration<double> time{};
    std::string transcriptError;  // why the transcript could not be written, if it could not
    SnapshotStatus snapshot = SnapshotStatus::None;
    std::string snapshotProblem;            // Differs, Failed: why, in one line
    std::vector<std::string> snapshotDiff;  // Differs: the unified diff, bounded
};

}  // namespace zelk::suite
