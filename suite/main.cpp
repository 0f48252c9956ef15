// zelk_suite: runs whole suites of scenario scripts in one process, each on a controller of
// its own with a virtual clock, and reports the scripts that did not end as expected, their
// snapshots, and what the suite covered of the cleaner's state machine.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Coverage.hpp"
#include "Exploration.hpp"
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
    if (found.scripts.empty() && found.errors.empty()) {
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
    suite.coverage = options.coverage || !options.coverageJson.empty() || options.failUnder >= 0 ||
                     options.outcomesFailUnder >= 0;
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
        const CoverageData& total = run.coverage;
        std::vector<std::string> paths;
        paths.reserve(results.size());
        for (const ScriptResult& result : results) {
            if (!result.skipped) {
                paths.push_back(result.path);
            }
        }
        const ReachableMachine machine = exploration.get();
        if (options.coverage) {
            writeCoverageText(std::cout, total, machine);
        }
        if (!options.coverageJson.empty() &&
            !writeReport(options.coverageJson, [&](std::ostream& out) {
                writeCoverageJson(out, total, machine, paths);
            })) {
            status = 1;
        }
        const CoverageSummary summary = summarize(total, machine);
        if (options.failUnder >= 0 && summary.percent() < options.failUnder) {
            std::cerr << "zelk_suite: transitions covered " << summary.covered << '/'
                      << summary.reachable << " (" << summary.percent() << "%), under the "
                      << options.failUnder << "% required\n";
            status = 1;
        }
        if (options.outcomesFailUnder >= 0 &&
            summary.outcomePercent() < options.outcomesFailUnder) {
            std::cerr << "zelk_suite: outcomes covered " << summary.outcomesCovered << '/'
                      << summary.outcomesReachable << " (" << summary.outcomePercent()
                      << "%), under the " << options.outcomesFailUnder << "% required\n";
            status = 1;
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
    std::set<std::string> ran;
    for (const ScriptResult& result : results) {
        if (!result.skipped) {
            ran.insert(result.path);
            if (!result.passed) {
                notPassed.insert(result.path);
            }
        }
    }
    for (const DiscoveryError& error : chosen.errors) {
        ran.insert(error.path);
        notPassed.insert(error.path);
    }
    for (const std::string& path : earlier.paths) {
        if (!ran.contains(path)) {
            notPassed.insert(path);
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
