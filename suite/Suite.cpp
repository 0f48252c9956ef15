#include "Suite.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>

#include "Protocol.hpp"
#include "ScriptRunner.hpp"
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

void searchDirectory(const std::string& root, Discovery& found) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, ec);
    if (ec) {
        found.errors.push_back({root, ec.message()});
        return;
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            found.errors.push_back({root, ec.message()});
            return;
        }
        const fs::path& path = it->path();
        std::error_code typeError;
        // A dangling link or an unreadable entry named *.zelk is kept: its run says why it
        // cannot be opened.
        if (path.extension() != ScriptExtension || it->is_directory(typeError)) {
            continue;
        }
        found.scripts.push_back(
            {path.string(), withoutExtension(path.lexically_relative(root).generic_string())});
    }
    if (ec) {
        found.errors.push_back({root, ec.message()});
    }
}

// The whole file, or an empty optional with the reason in `error`.
std::optional<std::string> readFile(const std::string& path, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = "is a directory";
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    constexpr std::size_t BlockSize = std::size_t{16} * 1024;
    const auto block = std::make_unique_for_overwrite<char[]>(BlockSize);
    while (file.read(block.get(), static_cast<std::streamsize>(BlockSize)) || file.gcount() > 0) {
        text.append(block.get(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        error = "read error";
        return std::nullopt;
    }
    return text;
}

bool writeTranscript(const std::string& dir, const ScriptEntry& entry,
                     const std::string& transcript, std::string& error) {
    const fs::path target = fs::path(dir) / (entry.transcriptName + ".out");
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        error = target.parent_path().string() + ": " + ec.message();
        return false;
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(transcript.data(), static_cast<std::streamsize>(transcript.size()));
    out.close();
    if (!out) {
        error = target.string() + ": cannot write";
        return false;
    }
    return true;
}

}  // namespace

Discovery discoverScripts(const std::vector<std::string>& arguments) {
    Discovery found;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        if (fs::is_directory(argument, ec)) {
            searchDirectory(argument, found);
        } else {
            found.scripts.push_back(
                {argument, withoutExtension(fs::path(argument).filename().string())});
        }
    }
    std::stable_sort(found.scripts.begin(), found.scripts.end(),
                     [](const ScriptEntry& a, const ScriptEntry& b) { return a.path < b.path; });
    found.scripts.erase(
        std::unique(found.scripts.begin(), found.scripts.end(),
                    [](const ScriptEntry& a, const ScriptEntry& b) { return a.path == b.path; }),
        found.scripts.end());
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

bool expectsFailure(std::string_view script) {
    return script.substr(0, script.find('\n')).starts_with(sim::ExpectedFailureMarker);
}

std::vector<Problem> findProblems(std::string_view transcript) {
    std::vector<Problem> problems;
    std::size_t pos = 0;
    while (pos < transcript.size()) {
        std::size_t end = transcript.find('\n', pos);
        if (end == std::string_view::npos) {
            end = transcript.size();
        }
        const std::string_view line = transcript.substr(pos, end - pos);
        pos = end + 1;
        std::string_view rest;
        if (line.starts_with(sim::ErrorPrefix)) {
            rest = line.substr(sim::ErrorPrefix.size());
        } else if (line.starts_with(sim::ExpectFailPrefix)) {
            rest = line.substr(sim::ExpectFailPrefix.size());
        } else {
            continue;
        }
        long long number = 0;
        for (char ch : rest) {
            if (ch < '0' || ch > '9') {
                break;
            }
            number = number * 10 + (ch - '0');
        }
        problems.push_back({number, std::string(line)});
    }
    return problems;
}

ScriptResult runScriptText(const ScriptEntry& entry, const std::string& text, bool realTime,
                           CoverageData* coverage, std::string* transcript) {
    ScriptResult result;
    result.path = entry.path;
    result.opened = true;
    result.expectFailure = expectsFailure(text);

    std::optional<Controller> controller;
    sim::ScriptOptions options;
    if (realTime) {
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
    if (coverage != nullptr) {
        recorder.emplace(*coverage);
        controller->setObserver(&*recorder);
        options.expected = [coverage](std::string_view field) { coverage->noteAssertion(field); };
    }
    std::istringstream input(text);
    std::ostringstream output;
    const int status = sim::runScriptOn(input, output, entry.path, *controller, options);
    controller.reset();  // a real-time timer thread reports nothing more after this

    std::string out = std::move(output).str();
    result.resultPass = status == 0;
    result.passed = result.resultPass != result.expectFailure;
    result.problems = findProblems(out);
    if (transcript != nullptr) {
        *transcript = std::move(out);
    }
    return result;
}

SuiteRun runSuite(const std::vector<ScriptEntry>& scripts, const SuiteOptions& options) {
    SuiteRun run;
    std::vector<ScriptResult>& results = run.results;
    results.resize(scripts.size());
    std::mutex coverageMutex;
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;
    std::mutex progressMutex;

    const auto work = [&] {
        // Each worker counts into its own data, merged once at the end: sums do not depend
        // on which worker ran which script.
        CoverageData mine;
        CoverageData* coverage = options.coverage ? &mine : nullptr;
        for (std::size_t i = next++; i < scripts.size(); i = next++) {
            const ScriptEntry& entry = scripts[i];
            const auto start = std::chrono::steady_clock::now();
            ScriptResult result;
            std::string error;
            if (std::optional<std::string> text = readFile(entry.path, error)) {
                std::string transcript;
                const bool keep = !options.transcriptDir.empty();
                result = runScriptText(entry, *text, options.realTime, coverage,
                                       keep ? &transcript : nullptr);
                if (keep && !writeTranscript(options.transcriptDir, entry, transcript,
                                             result.transcriptError)) {
                    result.passed = false;
                }
            } else {
                result.path = entry.path;
                result.openError = error;
            }
            result.time = std::chrono::steady_clock::now() - start;
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
