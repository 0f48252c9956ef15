#include "Suite.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <streambuf>
#include <sys/stat.h>
#include <system_error>
#include <thread>

#include "AtomicFile.hpp"
#include "FileSource.hpp"
#include "LineReader.hpp"
#include "Protocol.hpp"
#include "ScriptRunner.hpp"
#include "Snapshots.hpp"
#include <zelk/Controller.hpp>

namespace zelk::suite {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view ScriptExtension = ".zelk";

std::string withoutExtension(std::string name) {
    if (name.size() > ScriptExtension.size() && name.ends_with(ScriptExtension)) {
        name.resize(name.size() - ScriptExtension.size());
    }
    return name;
}

// What a file type is, in a report: "a FIFO".
std::string_view typeName(fs::file_type type) {
    switch (type) {
        case fs::file_type::fifo:
            return "a FIFO";
        case fs::file_type::character:
            return "a character device";
        case fs::file_type::block:
            return "a block device";
        case fs::file_type::socket:
            return "a socket";
        case fs::file_type::not_found:
            return "a dangling link";
        default:
            return "not a regular file";
    }
}

// Whether `path` (a directory entry's, so never ending in a separator) names a *.zelk file:
// a file name that ends in the extension and has more before it (".zelk" alone is a hidden
// file with no extension), as path::extension() tells, without building paths.
bool hasScriptExtension(std::string_view path) {
    const std::size_t name = path.rfind('/') + 1;  // npos + 1 is 0
    return path.size() - name > ScriptExtension.size() && path.ends_with(ScriptExtension);
}

constexpr std::string_view SnapshotExtension = ".out";

// What a directory search sees besides the scripts: every *.zelk it met (regular or not),
// and the snapshots, regular files or not.
struct SearchSeen {
    std::vector<std::string> scriptNames;       // every *.zelk, whatever it is
    std::vector<std::string> snapshots;         // every *.out
    std::vector<std::string> regularSnapshots;  // those that are regular files
};

// Calls `visit(path, type)` for every entry under `root` (which may not take `path` from a
// directory), depth first, through POSIX
// directory streams: std::filesystem's iterator builds and parses a path object per entry,
// which was most of the cost of a suite of small scripts. `type` is the listing's own
// (DT_REG, DT_LNK, ...); DT_UNKNOWN where the file system does not tell. Links to directories
// are not followed. A directory that cannot be read is reported and skipped.
template <typename Visit>
void walkDirectory(const std::string& root, Discovery& found, Visit&& visit) {
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        const std::string dir = std::move(pending.back());
        pending.pop_back();
        DIR* const stream = ::opendir(dir.c_str());
        if (stream == nullptr) {
            found.errors.push_back(
                {dir, std::string("cannot search directory: ") + std::strerror(errno)});
            continue;
        }
        const bool slash = dir.ends_with('/');
        while (const dirent* entry = ::readdir(stream)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = dir;
            if (!slash) {
                path += '/';
            }
            path += name;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat info {};
                if (::lstat(path.c_str(), &info) == 0) {
                    type = S_ISDIR(info.st_mode)   ? DT_DIR
                           : S_ISLNK(info.st_mode) ? DT_LNK
                           : S_ISREG(info.st_mode) ? DT_REG
                                                   : DT_UNKNOWN;
                }
            }
            visit(path, type);
            if (type == DT_DIR) {
                pending.push_back(std::move(path));
            }
        }
        ::closedir(stream);
    }
}

// The type of what `path` names, through links, as a report names it; whether it is a
// regular file in `regular`.
std::string_view followedType(const std::string& path, unsigned char listed, bool& regular) {
    if (listed == DT_REG) {
        regular = true;
        return {};
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        regular = false;
        return typeName(fs::file_type::not_found);
    }
    regular = S_ISREG(info.st_mode);
    if (S_ISDIR(info.st_mode)) {
        return {};
    }
    return S_ISFIFO(info.st_mode)   ? typeName(fs::file_type::fifo)
           : S_ISCHR(info.st_mode)  ? typeName(fs::file_type::character)
           : S_ISBLK(info.st_mode)  ? typeName(fs::file_type::block)
           : S_ISSOCK(info.st_mode) ? typeName(fs::file_type::socket)
                                    : typeName(fs::file_type::unknown);
}

void searchDirectory(const std::string& root, Discovery& found, SearchSeen& seen) {
    walkDirectory(root, found, [&](std::string& path, unsigned char type) {
        if (type == DT_DIR && !path.ends_with(SnapshotExtension)) {
            return;
        }
        if (!hasScriptExtension(path)) {
            if (path.ends_with(SnapshotExtension) && path.size() > SnapshotExtension.size() &&
                path[path.size() - SnapshotExtension.size() - 1] != '/') {
                seen.snapshots.push_back(path);
                bool regular = false;
                followedType(path, type, regular);
                if (regular) {
                    seen.regularSnapshots.push_back(path);
                }
            }
            return;
        }
        seen.scriptNames.push_back(path);
        if (type == DT_DIR) {
            return;  // a folder named *.zelk holds scripts, and is none
        }
        // The type of what the entry names, through a link: opening anything but a regular
        // file could block (a FIFO) or never end (a device). The listing tells the type of all
        // but links, without a system call of its own.
        bool regular = false;
        const std::string_view kind = followedType(path, type, regular);
        if (!regular) {
            if (!kind.empty()) {  // a link to a directory is no script, and no error
                found.errors.push_back({path, "not a script: " + std::string(kind)});
            }
            return;
        }
        // Each path is built from the root: what follows the root and its separator is the
        // name relative to it.
        std::string relative = path.substr(root.size());
        relative.erase(0, relative.find_first_not_of('/'));
        found.scripts.push_back({path, withoutExtension(std::move(relative)), true});
    });
}

// A stream buffer that keeps nothing: the transcript of a run that writes none.
class DiscardBuffer : public std::streambuf {
protected:
    std::streamsize xsputn(const char* /*text*/, std::streamsize size) override { return size; }
    int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
};

// Where a script's transcript goes while it runs: the file of --transcripts, a snapshot
// check, a snapshot being written; any of them, or none. Each is told its own banner line.
class TranscriptSinks : public std::streambuf {
public:
    std::ostream* file = nullptr;
    SnapshotCheck* check = nullptr;
    AtomicFile* snapshot = nullptr;

    // The banner: `path` for the file, `name` for the snapshot's.
    void banner(std::string_view path, std::string_view name) {
        if (file != nullptr) {
            sim::printBanner(*file, path);
        }
        std::string line(sim::BannerPrefix);
        line += name;
        line += '\n';
        put(line, false);
    }

protected:
    std::streamsize xsputn(const char* text, std::streamsize size) override {
        put({text, static_cast<std::size_t>(size)}, true);
        return size;
    }
    int_type overflow(int_type ch) override {
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            const char byte = traits_type::to_char_type(ch);
            put({&byte, 1}, true);
        }
        return traits_type::not_eof(ch);
    }

private:
    void put(std::string_view bytes, bool toFile) const {
        if (toFile && file != nullptr) {
            file->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        if (check != nullptr) {
            check->feed(bytes);
        }
        if (snapshot != nullptr) {
            snapshot->write(bytes);
        }
    }
};

// Keeps a script's first problem lines and counts the rest.
class ProblemKeeper {
public:
    explicit ProblemKeeper(ScriptResult& result, std::size_t most) : result_(result), most_(most) {}
    void operator()(std::uint64_t line, std::string_view text) {
        if (result_.problems.size() < most_) {
            result_.problems.push_back({line, std::string(text)});
        } else {
            ++result_.moreProblems;
        }
    }

private:
    ScriptResult& result_;
    std::size_t most_;
};

std::string stopReasonOf(sim::ScriptEnd end, std::uint64_t line) {
    switch (end) {
        case sim::ScriptEnd::ReadError:
            return "cannot read the script past line " + std::to_string(line - 1);
        case sim::ScriptEnd::LineTooLong:
            return "line " + std::to_string(line) + " is longer than the longest line a script " +
                   "may have (" + std::to_string(sim::LineReader::MaxLineSize) + " bytes)";
        case sim::ScriptEnd::Input:
        case sim::ScriptEnd::Exit:
            break;
    }
    return {};
}

bool openTranscript(const std::string& dir, const ScriptEntry& entry, std::ofstream& out,
                    std::string& error) {
    const fs::path target = fs::path(dir) / (entry.transcriptName + ".out");
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        error = target.parent_path().string() + ": " + ec.message();
        return false;
    }
    // Unbuffered: the runner hands over whole blocks of 64 KiB.
    out.rdbuf()->pubsetbuf(nullptr, 0);
    out.open(target, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        error = target.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

Discovery discoverScripts(const std::vector<std::string>& arguments) {
    Discovery found;
    SearchSeen seen;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        if (fs::is_directory(argument, ec)) {
            searchDirectory(argument, found, seen);
        } else {
            found.scripts.push_back(
                {argument, withoutExtension(fs::path(argument).filename().string())});
        }
    }
    // The directory search saw every snapshot beside the scripts it found: those need no
    // look of their own when they run. A snapshot that is not a regular file is looked at then.
    const auto sortUnique = [](std::vector<std::string>& paths) {
        std::sort(paths.begin(), paths.end());
        paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    };
    sortUnique(seen.snapshots);
    sortUnique(seen.regularSnapshots);
    sortUnique(seen.scriptNames);
    const auto contains = [](const std::vector<std::string>& sorted, const std::string& path) {
        return std::binary_search(sorted.begin(), sorted.end(), path);
    };
    for (ScriptEntry& entry : found.scripts) {
        if (entry.regularFile) {
            const std::string snapshot = snapshotPathOf(entry.path);
            entry.snapshot = contains(seen.regularSnapshots, snapshot)
                                 ? ScriptEntry::Snapshot::Present
                             : contains(seen.snapshots, snapshot) ? ScriptEntry::Snapshot::Unknown
                                                                  : ScriptEntry::Snapshot::Absent;
        }
    }
    std::stable_sort(found.scripts.begin(), found.scripts.end(),
                     [](const ScriptEntry& a, const ScriptEntry& b) { return a.path < b.path; });
    found.scripts.erase(
        std::unique(found.scripts.begin(), found.scripts.end(),
                    [](const ScriptEntry& a, const ScriptEntry& b) { return a.path == b.path; }),
        found.scripts.end());
    std::stable_sort(
        found.errors.begin(), found.errors.end(),
        [](const DiscoveryError& a, const DiscoveryError& b) { return a.path < b.path; });
    // A snapshot is obsolete when nothing named NAME.zelk stands beside it any more.
    for (const std::string& snapshot : seen.snapshots) {
        std::string script = snapshot.substr(0, snapshot.size() - SnapshotExtension.size());
        script += ScriptExtension;
        if (!contains(seen.scriptNames, script)) {
            found.obsoleteSnapshots.push_back(snapshot);
        }
    }
    return found;
}

std::vector<ScriptEntry> shard(const std::vector<ScriptEntry>& scripts, std::size_t index,
                               std::size_t count) {
    const std::size_t total = scripts.size();
    const std::size_t begin = total * (index - 1) / count;
    const std::size_t end = total * index / count;
    return {scripts.begin() + static_cast<std::ptrdiff_t>(begin),
            scripts.begin() + static_cast<std::ptrdiff_t>(end)};
}

bool expectsFailure(std::string_view firstLine) {
    return firstLine.substr(0, firstLine.find('\n')).starts_with(sim::ExpectedFailureMarker);
}

ScriptResult runScriptStream(const ScriptEntry& entry, std::istream& input,
                             std::ostream& transcript, const RunSettings& settings) {
    ScriptResult result;
    result.path = entry.path;
    result.opened = true;

    std::optional<Controller> controller;
    sim::ScriptOptions options;
    if (settings.realTime) {
        controller.emplace();
        options.wait = [](std::chrono::milliseconds duration) {
            std::this_thread::sleep_for(duration);
        };
    } else {
        controller.emplace(manualClock);
        options.wait = [&controller](std::chrono::milliseconds duration) {
            controller->advanceClock(duration);
        };
    }
    std::optional<CoverageRecorder> recorder;
    if (settings.coverage != nullptr) {
        recorder.emplace(*settings.coverage, settings.scriptIndex);
        controller->setObserver(&*recorder);
        options.expected = [coverage = settings.coverage](std::string_view field) {
            coverage->noteAssertion(field);
        };
    }
    options.cache = settings.cache;
    options.firstLine = [&result](std::string_view line) {
        result.expectFailure = expectsFailure(line);
    };
    std::uint64_t lastLine = 0;
    ProblemKeeper keeper(result, settings.maxProblems);
    options.problem = [&keeper, &lastLine](std::uint64_t line, std::string_view text) {
        lastLine = line;
        keeper(line, text);
    };
    const sim::ScriptRun run = sim::runScriptBody(input, transcript, *controller, options);
    controller.reset();  // a real-time timer thread reports nothing more after this

    result.resultPass = !run.failed;
    result.passed = result.resultPass != result.expectFailure;
    result.stopReason = stopReasonOf(run.end, lastLine);
    if (!result.stopReason.empty()) {
        result.passed = false;  // a script not run to its end never passes, expected to fail or not
    }
    return result;
}

ScriptResult runScriptText(const ScriptEntry& entry, const std::string& text, bool realTime,
                           CoverageData* coverage, std::string* transcript) {
    std::istringstream input(text);
    std::ostringstream output;
    DiscardBuffer discard;
    std::ostream nowhere(&discard);
    RunSettings settings;
    settings.realTime = realTime;
    settings.coverage = coverage;
    settings.maxProblems = ~std::size_t{0};
    std::ostream& out = transcript != nullptr ? static_cast<std::ostream&>(output) : nowhere;
    sim::printBanner(out, entry.path);
    ScriptResult result = runScriptStream(entry, input, out, settings);
    if (transcript != nullptr) {
        *transcript = std::move(output).str();
    }
    return result;
}

SuiteRun runSuite(const std::vector<ScriptEntry>& scripts, const SuiteOptions& options) {
    SuiteRun run;
    std::vector<ScriptResult>& results = run.results;
    results.resize(scripts.size());
    std::mutex coverageMutex;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::size_t done = 0;
    std::mutex progressMutex;

    // What a worker reads and writes scripts through, set up once for all its scripts.
    struct Streams {
        FileSource source;
        std::istream input{&source};
        DiscardBuffer discard;
        std::ostream nowhere{&discard};
        FileSource snapshotSource;
        SnapshotBuffers snapshotBuffers;
        TranscriptSinks sinks;
        std::ostream sinkStream{&sinks};
        sim::RunCache cache{true};  // suite runs know "wait"
    };

    // One script: read in blocks, its transcript written as it comes, to its file and into
    // its snapshot's check or writing.
    const auto runOne = [&options](Streams& streams, const ScriptEntry& entry, std::uint32_t index,
                                   CoverageData* coverage) {
        ScriptResult result;
        result.path = entry.path;
        if (!streams.source.open(entry.path, result.openError, entry.regularFile)) {
            return result;
        }
        streams.input.clear();
        std::optional<std::ofstream> file;  // only where transcripts are kept: it costs
        std::string transcriptError;
        if (!options.transcriptDir.empty() &&
            !openTranscript(options.transcriptDir, entry, file.emplace(), transcriptError)) {
            file.reset();
        }
        SnapshotPlan plan;
        planSnapshot(plan, entry, options.snapshots, streams.snapshotSource,
                     streams.snapshotBuffers, 4 * options.maxProblems);
        TranscriptSinks& sinks = streams.sinks;
        std::ostream& sinkStream = streams.sinkStream;
        sinkStream.clear();
        sinks.file = file ? &*file : nullptr;
        sinks.check = plan.check ? &*plan.check : nullptr;
        sinks.snapshot = plan.writer ? &*plan.writer : nullptr;
        const bool anySink =
            sinks.file != nullptr || sinks.check != nullptr || sinks.snapshot != nullptr;
        std::ostream& transcript = anySink ? sinkStream : streams.nowhere;
        sinks.banner(entry.path, bannerNameOf(entry.path));
        RunSettings settings;
        settings.realTime = options.realTime;
        settings.coverage = coverage;
        settings.scriptIndex = index;
        settings.maxProblems = options.maxProblems;
        settings.cache = &streams.cache;
        result = runScriptStream(entry, streams.input, transcript, settings);
        streams.source.close();
        result.transcriptError = transcriptError;
        if (file) {
            file->close();
            if (!*file) {
                result.transcriptError = entry.transcriptName + ".out: cannot write";
            }
        }
        if (!result.transcriptError.empty()) {
            result.passed = false;  // a lost transcript must not pass silently
        }
        settleSnapshot(plan, result, 4 * options.maxProblems);
        streams.snapshotSource.close();
        return result;
    };

    const auto work = [&] {
        // Each worker counts into its own data, merged once at the end: sums do not depend
        // on which worker ran which script.
        CoverageData mine;
        CoverageData* coverage = options.coverage ? &mine : nullptr;
        Streams streams;
        for (std::size_t i = next++; i < scripts.size(); i = next++) {
            const ScriptEntry& entry = scripts[i];
            if (stop.load()) {
                results[i].path = entry.path;
                results[i].skipped = true;  // never started: an earlier script did not pass
                continue;
            }
            const auto start = std::chrono::steady_clock::now();
            ScriptResult result;
            try {
                result = runOne(streams, entry, static_cast<std::uint32_t>(i), coverage);
            } catch (const std::exception& error) {
                // No memory to be had, for one: this script fails, the others still run.
                result = ScriptResult{};
                result.path = entry.path;
                result.opened = true;
                result.stopReason = std::string("cannot run: ") + error.what();
            }
            result.time = std::chrono::steady_clock::now() - start;
            if (options.failFast && !result.passed) {
                stop = true;
            }
            results[i] = std::move(result);
            if (options.progress) {
                std::scoped_lock lock(progressMutex);
                options.progress(++done, scripts.size(), results[i]);
            }
        }
        if (coverage != nullptr) {
            std::scoped_lock lock(coverageMutex);
            run.coverage.merge(mine);
        }
    };

    const std::size_t workers =
        std::min<std::size_t>(std::max(1U, options.jobs), std::max<std::size_t>(1, scripts.size()));
    std::vector<std::thread> threads;
    for (std::size_t w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads: the work is shared among those that started
        }
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
    return run;
}

}  // namespace zelk::suite
