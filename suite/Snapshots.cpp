#include "Snapshots.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ios>
#include <sys/stat.h>
#include <utility>

#include "ByteMasks.hpp"

namespace zelk::suite {
namespace {

constexpr std::string_view ScriptExtension = ".zelk";
constexpr std::string_view SnapshotExtension = ".out";

std::uint64_t countLines(const char* bytes, std::size_t size) {
    return static_cast<std::uint64_t>(sim::countNewlines(bytes, size));
}

}  // namespace

std::string snapshotPathOf(std::string_view scriptPath) {
    const std::size_t name = scriptPath.rfind('/') + 1;  // npos + 1 is 0
    if (scriptPath.size() - name <= ScriptExtension.size() ||
        !scriptPath.ends_with(ScriptExtension)) {
        return {};
    }
    std::string path(scriptPath.substr(0, scriptPath.size() - ScriptExtension.size()));
    path += SnapshotExtension;
    return path;
}

std::string bannerNameOf(std::string_view scriptPath) {
    return std::string(scriptPath.substr(scriptPath.rfind('/') + 1));
}

SnapshotCheck::SnapshotCheck(std::streambuf& snapshot, std::size_t windowLines, std::size_t context,
                             SnapshotBuffers* buffers)
    : snapshot_(snapshot),
      windowLines_(std::max<std::size_t>(windowLines, 1)),
      context_(context),
      own_(buffers == nullptr ? std::make_unique<SnapshotBuffers>() : nullptr),
      buffers_(buffers != nullptr ? *buffers : *own_) {}

bool SnapshotCheck::refill() {
    if (snapshotEnded_) {
        return false;
    }
    blockOffset_ += block_.size();
    std::swap(buffers_.previous, buffers_.current);
    previous_ = {buffers_.previous.get(), block_.size()};
    std::streamsize got = 0;
    try {
        got = snapshot_.sgetn(buffers_.current.get(),
                              static_cast<std::streamsize>(SnapshotBuffers::BlockSize));
    } catch (const std::ios_base::failure& error) {
        readError_ = error.what();
        got = 0;
    }
    block_ = {buffers_.current.get(), got > 0 ? static_cast<std::size_t>(got) : 0};
    pos_ = 0;
    if (got <= 0) {
        snapshotEnded_ = true;
        return false;
    }
    return true;
}

void SnapshotCheck::feed(std::string_view transcript) {
    if (differs_) {
        collectActual(transcript);
        return;
    }
    while (!transcript.empty()) {
        if (pos_ == block_.size() && !refill()) {
            diverge(transcript);  // the transcript goes on past the snapshot
            return;
        }
        const std::size_t size = std::min(transcript.size(), block_.size() - pos_);
        const char* const expected = block_.data() + pos_;
        if (std::memcmp(transcript.data(), expected, size) == 0) {
            lines_ += countLines(expected, size);
            pos_ += size;
            transcript.remove_prefix(size);
            continue;
        }
        std::size_t same = 0;
        while (transcript[same] == expected[same]) {
            ++same;
        }
        lines_ += countLines(expected, same);
        pos_ += same;
        transcript.remove_prefix(same);
        diverge(transcript);
        return;
    }
}

void SnapshotCheck::finish() {
    if (differs_) {
        if (!openActual_.empty() && !actualFull_) {
            closeLine(window_.actual, openActual_);
        }
        return;
    }
    // The snapshot goes on past the transcript, or could not be read to its end.
    if (pos_ < block_.size() || refill() || !readError_.empty()) {
        diverge({});
    }
}

void SnapshotCheck::diverge(std::string_view rest) {
    differs_ = true;
    // The equal bytes before the difference, as far as the two kept blocks reach, and where
    // the lines among them begin: at the snapshot's start, and after each line feed.
    std::string before(previous_);
    before.append(block_.substr(0, pos_));
    std::vector<std::size_t> starts;
    if (blockOffset_ == previous_.size()) {  // `before` begins the snapshot
        starts.push_back(0);
    }
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == '\n') {
            starts.push_back(i + 1);
        }
    }
    // The last start begins the line the difference is in; the whole lines before it, up to
    // `context_` of them, are shown as they were equal.
    const std::size_t whole = starts.empty() ? 0 : starts.size() - 1;
    const std::size_t shown = std::min(whole, context_);
    for (std::size_t k = whole - shown; k < whole; ++k) {
        std::string line;
        appendCapped(line,
                     std::string_view(before).substr(starts[k], starts[k + 1] - 1 - starts[k]));
        window_.expected.push_back(line);
        window_.actual.push_back(std::move(line));
    }
    window_.firstLine = lines_ + 1 - shown;
    windowLines_ += shown;  // the context does not count against the window
    // The line the difference is in: its equal start, on both sides ("..." where the start lies
    // beyond the kept blocks).
    std::string openExpected = starts.empty() ? "..." : "";
    appendCapped(openExpected, std::string_view(before).substr(starts.empty() ? 0 : starts.back()));
    openActual_ = openExpected;
    // The snapshot's side, from the difference on.
    for (;;) {
        const std::string_view left = block_.substr(pos_);
        const std::size_t feed = left.find('\n');
        if (feed == std::string_view::npos) {
            appendCapped(openExpected, left);
            pos_ = block_.size();
            if (refill()) {
                continue;
            }
            if (!openExpected.empty()) {
                closeLine(window_.expected, openExpected);
            }
            break;
        }
        appendCapped(openExpected, left.substr(0, feed));
        pos_ += feed + 1;
        closeLine(window_.expected, openExpected);
        if (window_.expected.size() >= windowLines_) {
            window_.cut = pos_ < block_.size() || refill();
            break;
        }
    }
    collectActual(rest);
}

void SnapshotCheck::collectActual(std::string_view bytes) {
    while (!bytes.empty() && !actualFull_) {
        const std::size_t feed = bytes.find('\n');
        if (feed == std::string_view::npos) {
            appendCapped(openActual_, bytes);
            return;
        }
        appendCapped(openActual_, bytes.substr(0, feed));
        closeLine(window_.actual, openActual_);
        bytes.remove_prefix(feed + 1);
        actualFull_ = window_.actual.size() >= windowLines_;
    }
    if (actualFull_ && !bytes.empty()) {
        window_.cut = true;
    }
}

void SnapshotCheck::appendCapped(std::string& line, std::string_view bytes) {
    if (line.size() < LineCap) {
        line.append(bytes.substr(0, LineCap - line.size()));
    }
}

void SnapshotCheck::closeLine(std::vector<std::string>& lines, std::string& open) {
    lines.push_back(std::move(open));
    open.clear();
}

void planSnapshot(SnapshotPlan& plan, const ScriptEntry& entry, SnapshotMode mode,
                  FileSource& source, SnapshotBuffers& buffers, std::size_t windowLines) {
    plan.path = mode == SnapshotMode::Ignore ? std::string() : snapshotPathOf(entry.path);
    if (plan.path.empty()) {
        return;
    }
    plan.name = bannerNameOf(plan.path);
    const bool mayWrite = mode == SnapshotMode::New || mode == SnapshotMode::All;
    const auto openWriter = [&plan] {
        std::string error;
        if (!plan.writer.emplace(plan.path).open(error)) {
            plan.writer.reset();
            plan.problem = "cannot write snapshot " + plan.name + ": " + error;
        }
    };
    struct stat info {};
    // A directory search saw whether it is there, and whether it is a regular file: then it
    // costs no look of its own.
    const bool absent = entry.snapshot == ScriptEntry::Snapshot::Absent;
    const bool regular = entry.snapshot == ScriptEntry::Snapshot::Present;
    if (absent || (!regular && ::stat(plan.path.c_str(), &info) != 0)) {
        if (!absent && errno != ENOENT) {
            plan.problem = "cannot read snapshot " + plan.name + ": " + std::strerror(errno);
        } else if (mode == SnapshotMode::Require) {
            plan.problem = "no snapshot " + plan.name;
        } else if (mayWrite) {
            openWriter();
        }
        return;
    }
    if (!regular && S_ISDIR(info.st_mode)) {
        plan.problem = "snapshot " + plan.name + " is a directory";
        return;
    }
    std::string error;
    if (!source.open(plan.path, error, regular || S_ISREG(info.st_mode))) {
        plan.problem = "cannot read snapshot " + plan.name + ": " + error;
        return;
    }
    plan.check.emplace(source, windowLines, 3, &buffers);
    if (mode == SnapshotMode::All) {
        openWriter();
    }
}

void settleSnapshot(SnapshotPlan& plan, ScriptResult& result, std::size_t diffLines) {
    if (plan.path.empty()) {
        return;
    }
    const auto fail = [&result](SnapshotStatus status, std::string problem) {
        result.snapshot = status;
        result.snapshotProblem = std::move(problem);
        result.passed = false;
    };
    const auto commit = [&](SnapshotStatus done) {
        std::string error;
        if (plan.writer->commit(error)) {
            result.snapshot = done;
        } else {
            fail(SnapshotStatus::Failed, "cannot write snapshot " + plan.name + ": " + error);
        }
    };
    if (plan.check) {
        plan.check->finish();
        if (!plan.check->readError().empty()) {
            fail(SnapshotStatus::Failed,
                 "cannot read snapshot " + plan.name + ": " + plan.check->readError());
        } else if (!plan.check->differs()) {
            result.snapshot = SnapshotStatus::Matched;
        } else if (plan.writer) {
            commit(SnapshotStatus::Updated);
        } else {
            fail(SnapshotStatus::Differs, "transcript differs from " + plan.name);
            result.snapshotDiff = snapshotDiff(plan.check->window(), plan.name, diffLines);
        }
    } else if (plan.writer) {
        commit(SnapshotStatus::Written);
    }
    if (plan.writer) {
        plan.writer->abandon();  // not committed: the snapshot stays as it was
    }
    if (!plan.problem.empty() && result.snapshot != SnapshotStatus::Failed) {
        fail(SnapshotStatus::Failed, plan.problem);
    }
}

}  // namespace zelk::suite
