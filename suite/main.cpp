// zelk_suite: runs whole suites of scenario scripts in one process, each on a controller of
// its own with a virtual clock, and reports the scripts that did not end as expected, their
// snapshots, and what the suite covered of the cleaner's state machine.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

#include "AtomicFile.hpp"
#include "Coverage.hpp"
#include "Exploration.hpp"
#include "Generator.hpp"
#include "Merge.hpp"
#include "Options.hpp"
#include "Selection.hpp"
#include "Suite.hpp"
#include "reports/Reports.hpp"

namespace {

using namespace zelk::suite;

// Writes a report to `path` through `render`; false, with a message, when it cannot be
// written.
template <typename Render>
bool writeReport(const std::string& path, Render&& render) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) {
        render(out);
        out.close();
    }
    if (!out) {
        std::cerr << "zelk_suite: cannot write " << path << '\n';
        return false;
    }
    return true;
}

// A diff line in the colours of a terminal's diff: removed red, added green, hunk heads cyan.
std::string coloured(const std::string& line) {
    const char* colour = nullptr;
    if (line.starts_with("@@")) {
        colour = "\033[36m";
    } else if (line.starts_with("---") || line.starts_with("+++")) {
        colour = "\033[1m";
    } else if (line.starts_with('-')) {
        colour = "\033[31m";
    } else if (line.starts_with('+')) {
        colour = "\033[32m";
    }
    return colour == nullptr ? line : colour + line + "\033[0m";
}

// "N passed, M failed", and ", K skipped" where some were.
std::string closingLine(std::size_t passed, std::size_t failed, std::size_t skipped) {
    std::string line = std::to_string(passed) + " passed, " + std::to_string(failed) + " failed";
    if (skipped > 0) {
        line += ", " + std::to_string(skipped) + " skipped";
    }
    return line;
}

// The scripts and path errors a run takes, after filters, --last-failed and the shard.
struct Selection {
    std::vector<ScriptEntry> scripts;
    std::vector<DiscoveryError> errors;
};

Selection select(const Discovery& found, const CommandLine& options, const LastFailed& last) {
    const bool onlyFailed = options.lastFailed && last.found && !last.paths.empty();
    const auto keep = [&](const std::string& path) {
        return selected(path, options.filters, options.excludes) &&
               (!onlyFailed || last.paths.contains(path));
    };
    Selection chosen;
    std::vector<ScriptEntry> scripts;
    for (const ScriptEntry& entry : found.scripts) {
        if (keep(entry.path)) {
            scripts.push_back(entry);
        }
    }
    chosen.scripts = shard(scripts, options.shardIndex, options.shardCount);
    // Paths that are no scripts are reported once, by the first shard.
    if (options.shardIndex == 1) {
        for (const DiscoveryError& error : found.errors) {
            if (keep(error.path)) {
                chosen.errors.push_back(error);
            }
        }
    }
    return chosen;
}

// The coverage reports and gates the options ask for; returns 1 when one could not be
// written or a gate was not met, else 0.
int reportCoverage(const CommandLine& options, const CoverageData& data,
                   const ReachableMachine& machine, const std::vector<std::string>& scripts) {
    int status = 0;
    if (options.coverage) {
        writeCoverageText(std::cout, data, machine);
    }
    const auto write = [&status](const std::string& path, auto&& render) {
        if (!path.empty() && !writeReport(path, render)) {
            status = 1;
        }
    };
    write(options.coverageJson,
          [&](std::ostream& out) { writeCoverageJson(out, data, machine, scripts); });
    write(options.coverageHtml,
          [&](std::ostream& out) { writeCoverageHtml(out, data, machine, scripts); });
    write(options.coverageMarkdown,
          [&](std::ostream& out) { writeCoverageMarkdown(out, data, machine); });
    const CoverageSummary summary = summarize(data, machine);
    if (options.failUnder >= 0 && summary.percent() < options.failUnder) {
        std::cerr << "zelk_suite: transitions covered " << summary.covered << '/'
                  << summary.reachable << " (" << summary.percent() << "%), under the "
                  << options.failUnder << "% required\n";
        status = 1;
    }
    if (options.outcomesFailUnder >= 0 && summary.outcomePercent() < options.outcomesFailUnder) {
        std::cerr << "zelk_suite: outcomes covered " << summary.outcomesCovered << '/'
                  << summary.outcomesReachable << " (" << summary.outcomePercent()
                  << "%), under the " << options.outcomesFailUnder << "% required\n";
        status = 1;
    }
    return status;
}

bool wantsCoverage(const CommandLine& options) {
    return options.coverage || !options.coverageJson.empty() || !options.coverageHtml.empty() ||
           !options.coverageMarkdown.empty() || options.failUnder >= 0 ||
           options.outcomesFailUnder >= 0 || !options.generate.empty();
}

// --merge-coverage: one coverage from the reports of shard runs.
int mergeAndReport(CommandLine options) {
    const ReachableMachine machine = exploreMachine();
    CoverageFile merged;
    std::string error;
    if (!mergeCoverageFiles(options.paths, machine, merged, error)) {
        std::cerr << "zelk_suite: cannot merge the coverage: " << error << '\n';
        return 2;
    }
    if (!wantsCoverage(options)) {
        options.coverage = true;  // a merge that reports nothing else prints the text
    }
    const int status = reportCoverage(options, merged.data, machine, merged.scripts);
    std::cout.flush();
    return std::cout ? status : 1;
}

// --generate's folder must be absent or empty unless --force, and not a file: checked before
// the suite runs. Returns the exit status of a refusal, or -1.
int refuseGenerateDir(const CommandLine& options) {
    namespace fs = std::filesystem;
    const fs::path dir(options.generate);
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (fs::exists(status) && !fs::is_directory(status)) {
        std::cerr << "zelk_suite: cannot generate into " << options.generate
                  << ": it is not a directory\n";
        return 2;
    }
    if (!options.force && fs::is_directory(status) && !fs::is_empty(dir, ec)) {
        std::cerr << "zelk_suite: cannot generate into " << options.generate
                  << ": it is not empty (--force writes into it)\n";
        return 2;
    }
    if (!fs::exists(status)) {
        // It will be made: the nearest folder that exists must be one it can be made in.
        fs::path parent = fs::absolute(dir, ec).parent_path();
        while (!parent.empty() && !fs::exists(parent, ec) && parent != parent.root_path()) {
            parent = parent.parent_path();
        }
        if (!fs::is_directory(parent, ec)) {
            std::cerr << "zelk_suite: cannot generate into " << options.generate << ": "
                      << parent.string() << " is not a directory\n";
            return 2;
        }
        if (access(parent.c_str(), W_OK | X_OK) != 0) {
            std::cerr << "zelk_suite: cannot generate into " << options.generate << ": "
                      << parent.string() << ": " << std::strerror(errno) << '\n';
            return 2;
        }
    }
    return -1;
}

// --generate: writes the generated scripts into the folder. Returns the exit status.
int writeGenerated(const CommandLine& options, const CoverageData& data,
                   const ReachableMachine& machine) {
    namespace fs = std::filesystem;
    const fs::path dir(options.generate);
    const Generation generation = generateScripts(data, machine);
    if (generation.outcomes == 0) {
        std::cout << "nothing to generate: the suite exercises all "
                  << machine.reachableOutcomeCount() << " reachable outcomes\n";
        return 0;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        std::cerr << "zelk_suite: cannot generate into " << options.generate << ": " << ec.message()
                  << '\n';
        return 1;
    }
    for (const GeneratedScript& script : generation.scripts) {
        std::string error;
        if (!writeFileAtomically((dir / script.name).string(), script.text, error)) {
            std::cerr << "zelk_suite: cannot write " << (dir / script.name).string() << ": "
                      << error << '\n';
            return 1;
        }
    }
    const std::size_t covered = generation.outcomes - generation.left.size();
    char ratio[32];
    std::snprintf(
        ratio, sizeof ratio, "%.2f",
        covered == 0 ? 0.0 : static_cast<double>(generation.events) / static_cast<double>(covered));
    std::cout << "generated " << generation.scripts.size() << " script"
              << (generation.scripts.size() == 1 ? "" : "s") << " with " << generation.events
              << " events into " << options.generate << ": they exercise the " << covered
              << " reachable outcomes the suite did not (at least " << covered
              << " events, one per outcome; " << ratio << " events per outcome)\n";
    for (const OutcomeGap& gap : generation.left) {
        std::cerr << "zelk_suite: no script could be generated for " << outcomeName(gap.state)
                  << ", " << eventName(gap.event) << " -> " << outcomeName(gap.outcome) << '\n';
    }
    return generation.left.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    CommandLine options;
    if (const int status = parseCommandLine(argc, argv, options, std::cout, std::cerr);
        status >= 0) {
        std::cout.flush();
        return status;
    }
    if (options.stateDiagram) {
        writeStateDiagram(std::cout, exploreMachine());
        std::cout.flush();
        return std::cout ? 0 : 1;
    }
    if (options.mergeCoverage) {
        return mergeAndReport(options);
    }

    const Discovery found = discoverScripts(options.paths);
    std::string warning;
    const LastFailed last =
        options.lastFailed ? readLastFailed(options.cacheDir, warning) : LastFailed{};
    if (!warning.empty()) {
        std::cerr << "zelk_suite: " << warning << '\n';
    }
    const Selection chosen = select(found, options, last);
    if (options.list) {
        for (const ScriptEntry& entry : chosen.scripts) {
            std::cout << entry.path << '\n';
        }
        std::cout.flush();
        return std::cout ? 0 : 1;
    }
    if (!options.generate.empty()) {
        if (const int refusal = refuseGenerateDir(options); refusal >= 0) {
            return refusal;
        }
    }
    if (found.scripts.empty() && found.errors.empty() && options.generate.empty()) {
        std::cout << "0 passed, 0 failed\n";
        std::cerr << "zelk_suite: no *.zelk script found\n";
        return 1;
    }
    const std::vector<ScriptEntry>& scripts = chosen.scripts;

    if (!options.transcripts.empty()) {
        // Two scripts named directly in different folders can share a file name: one
        // transcript would overwrite the other.
        std::map<std::string, std::string> names;
        for (const ScriptEntry& entry : scripts) {
            const auto [it, added] = names.emplace(entry.transcriptName, entry.path);
            if (!added) {
                return reportUsageError(std::cerr, "'" + it->second + "' and '" + entry.path +
                                                       "' would both write the transcript " +
                                                       entry.transcriptName + ".out");
            }
        }
    }

    SuiteOptions suite;
    suite.jobs =
        options.jobs != 0 ? options.jobs : std::max(1U, std::thread::hardware_concurrency());
    suite.realTime = options.realTime;
    suite.coverage = wantsCoverage(options);
    suite.transcriptDir = options.transcripts;
    suite.maxProblems = options.maxProblems;
    suite.snapshots = options.snapshots;
    suite.failFast = options.failFast;
    const bool showProgress = isatty(STDERR_FILENO) != 0 && scripts.size() > 1;
    if (showProgress) {
        suite.progress = [](std::size_t done, std::size_t total, const ScriptResult& result) {
            std::cerr << "\r\033[K[" << done << '/' << total << "] " << result.path << std::flush;
        };
    }
    // The exploration of the state machine runs while the scripts do (on a thread of its own
    // where one can be had).
    std::future<ReachableMachine> exploration;
    if (suite.coverage) {
        exploration = std::async(std::launch::async | std::launch::deferred, exploreMachine);
    }
    const SuiteRun run = runSuite(scripts, suite);
    const std::vector<ScriptResult>& results = run.results;
    if (showProgress) {
        std::cerr << "\r\033[K" << std::flush;
    }

    const bool colour = isatty(STDOUT_FILENO) != 0;
    std::size_t passed = 0;
    std::size_t failed = chosen.errors.size();
    std::size_t skipped = 0;
    std::size_t written = 0;
    std::size_t updated = 0;
    std::string report;
    for (const DiscoveryError& error : chosen.errors) {
        report += "FAIL " + error.path + ": " + error.reason + "\n";
    }
    for (const ScriptResult& result : results) {
        written += result.snapshot == SnapshotStatus::Written ? 1 : 0;
        updated += result.snapshot == SnapshotStatus::Updated ? 1 : 0;
        if (result.skipped) {
            ++skipped;
            continue;
        }
        if (result.passed) {
            ++passed;
            continue;
        }
        ++failed;
        report += "FAIL " + result.path + ": " + failureSummary(result) + "\n";
        report += problemLines(result);
        for (const std::string& line : result.snapshotDiff) {
            report += (colour ? coloured(line) : line) + "\n";
        }
    }
    for (const std::string& snapshot : found.obsoleteSnapshots) {
        report += "obsolete snapshot: " + snapshot + " (its script is gone)\n";
    }
    if (written > 0 || updated > 0) {
        report += "wrote " + std::to_string(written) + " new snapshot" + (written == 1 ? "" : "s") +
                  ", updated " + std::to_string(updated) + "\n";
    }
    if (options.durations > 0) {
        std::vector<const ScriptResult*> ran;
        for (const ScriptResult& result : results) {
            if (!result.skipped) {
                ran.push_back(&result);
            }
        }
        const std::size_t shown = std::min(options.durations, ran.size());
        std::partial_sort(
            ran.begin(), ran.begin() + static_cast<std::ptrdiff_t>(shown), ran.end(),
            [](const ScriptResult* a, const ScriptResult* b) { return a->time > b->time; });
        report += "slowest " + std::to_string(shown) + " script" + (shown == 1 ? "" : "s") + ":\n";
        for (std::size_t i = 0; i < shown; ++i) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.6f s", ran[i]->time.count());
            report += std::string("  ") + seconds + "  " + ran[i]->path + "\n";
        }
    }
    std::cout << report;

    int status = failed == 0 ? 0 : 1;
    if (suite.coverage) {
        std::vector<std::string> paths;
        paths.reserve(results.size());
        for (const ScriptResult& result : results) {
            paths.push_back(result.path);
        }
        const ReachableMachine machine = exploration.get();
        status = std::max(status, reportCoverage(options, run.coverage, machine, paths));
        if (!options.generate.empty()) {
            if (failed > 0) {
                std::cerr << "zelk_suite: " << failed << " of the suite's scripts did not pass; "
                          << "what they exercised still counts for coverage\n";
            }
            status = std::max(status, writeGenerated(options, run.coverage, machine));
        }
    }
    if (!options.junit.empty() && !writeReport(options.junit, [&](std::ostream& out) {
            writeJunit(out, results, chosen.errors, failed, skipped);
        })) {
        status = 1;
    }

    // The record for --last-failed: what did not pass, the earlier record kept for the
    // scripts this run did not take. A record that cannot be written is only a warning.
    std::set<std::string> notPassed;
    const LastFailed earlier =
        options.lastFailed ? last : readLastFailed(options.cacheDir, warning);
    for (const ScriptResult& result : results) {
        if (!result.skipped && !result.passed) {
            notPassed.insert(result.path);
        }
    }
    for (const DiscoveryError& error : chosen.errors) {
        notPassed.insert(error.path);
    }
    if (!earlier.paths.empty()) {  // most runs follow one that passed: nothing to keep
        std::set<std::string_view> ran;
        for (const ScriptResult& result : results) {
            if (!result.skipped) {
                ran.insert(result.path);
            }
        }
        for (const DiscoveryError& error : chosen.errors) {
            ran.insert(error.path);
        }
        for (const std::string& path : earlier.paths) {
            if (!ran.contains(path)) {
                notPassed.insert(path);
            }
        }
    }
    std::string recordError;
    if (!writeLastFailed(options.cacheDir, notPassed, recordError)) {
        std::cerr << "zelk_suite: warning: cannot keep the record of this run for --last-failed: "
                  << recordError << '\n';
    }

    std::cout << closingLine(passed, failed, skipped) << '\n';
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "zelk_suite: cannot write output\n";
        return 1;
    }
    return status;
}
