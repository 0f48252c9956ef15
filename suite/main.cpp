// zelk_suite: runs whole suites of scenario scripts in one process, each on a controller of
// its own with a virtual clock, and reports the scripts that did not end as expected and
// what the suite covered of the cleaner's state machine.

#include <charconv>
#include <cstdio>
#include <fstream>
#include <getopt.h>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Coverage.hpp"
#include "Escape.hpp"
#include "Suite.hpp"

#ifndef ZELK_VERSION
#define ZELK_VERSION "unknown"
#endif

namespace {

using namespace zelk::suite;

constexpr std::string_view Usage =
    "Usage: zelk_suite [options] PATH...\n"
    "Runs scenario scripts in one process, each on a controller of its own with a virtual\n"
    "clock, and reports every script whose verdict is not the expected one. Each PATH is a\n"
    "script or a directory searched recursively for *.zelk. A script whose first line reads\n"
    "\"# Expected result: FAIL\" is expected to end in RESULT FAIL, every other in RESULT PASS.\n"
    "\n"
    "Options:\n"
    "  -j, --jobs N               run N scripts at once (default: the hardware threads)\n"
    "      --transcripts DIR      write each script's transcript to DIR/NAME.out\n"
    "      --junit FILE           write a JUnit XML report\n"
    "      --shard K/N            run only the K-th of N slices of the sorted script list\n"
    "      --real-time            real five-second boost timers; wait sleeps\n"
    "      --coverage             print the transition coverage after the results\n"
    "      --coverage-json FILE   write the transition coverage as JSON\n"
    "      --coverage-fail-under PCT\n"
    "                             exit with status 1 when under PCT% of the reachable\n"
    "                             transitions were exercised\n"
    "      --state-diagram        print the state machine as a Mermaid diagram and exit\n"
    "  -h, --help                 show this help and exit\n"
    "      --version              show the version and exit\n"
    "\n"
    "Exit status: 0 when every script passed, 1 when one did not, 2 for a usage error.\n";

struct Options {
    unsigned jobs = 0;
    std::string transcripts;
    std::string junit;
    std::size_t shardIndex = 1;
    std::size_t shardCount = 1;
    bool realTime = false;
    bool coverage = false;
    std::string coverageJson;
    int failUnder = -1;
    bool stateDiagram = false;
    std::vector<std::string> paths;
};

enum LongOnly {
    TranscriptsOption = 256,
    JunitOption,
    ShardOption,
    RealTimeOption,
    CoverageOption,
    CoverageJsonOption,
    FailUnderOption,
    StateDiagramOption,
    VersionOption,
};

bool parseNumber(std::string_view text, unsigned long long& out) {
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc{} && end == text.data() + text.size();
}

int usageError(std::string_view message) {
    std::cerr << "zelk_suite: " << message << "\n"
              << Usage.substr(0, Usage.find('\n') + 1)
              << "Try 'zelk_suite --help' for more information.\n";
    return 2;
}

// Returns -1 when the run should go on, else the exit status.
int parseOptions(int argc, char** argv, Options& options) {
    static const option LongOptions[] = {
        {"jobs", required_argument, nullptr, 'j'},
        {"transcripts", required_argument, nullptr, TranscriptsOption},
        {"junit", required_argument, nullptr, JunitOption},
        {"shard", required_argument, nullptr, ShardOption},
        {"real-time", no_argument, nullptr, RealTimeOption},
        {"coverage", no_argument, nullptr, CoverageOption},
        {"coverage-json", required_argument, nullptr, CoverageJsonOption},
        {"coverage-fail-under", required_argument, nullptr, FailUnderOption},
        {"state-diagram", no_argument, nullptr, StateDiagramOption},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    int option = 0;
    while ((option = getopt_long(argc, argv, ":j:h", LongOptions, nullptr)) != -1) {
        const std::string_view value = optarg != nullptr ? optarg : "";
        unsigned long long number = 0;
        switch (option) {
            case 'j':
                if (!parseNumber(value, number) || number < 1 || number > 1024) {
                    return usageError("-j needs a number of jobs from 1 to 1024, not '" +
                                      std::string(value) + "'");
                }
                options.jobs = static_cast<unsigned>(number);
                break;
            case TranscriptsOption:
                options.transcripts = value;
                break;
            case JunitOption:
                options.junit = value;
                break;
            case ShardOption: {
                const std::size_t slash = value.find('/');
                unsigned long long index = 0;
                unsigned long long count = 0;
                if (slash == std::string_view::npos ||
                    !parseNumber(value.substr(0, slash), index) ||
                    !parseNumber(value.substr(slash + 1), count) || count < 1 || index < 1 ||
                    index > count) {
                    return usageError("--shard needs K/N with 1 <= K <= N, not '" +
                                      std::string(value) + "'");
                }
                options.shardIndex = static_cast<std::size_t>(index);
                options.shardCount = static_cast<std::size_t>(count);
                break;
            }
            case RealTimeOption:
                options.realTime = true;
                break;
            case CoverageOption:
                options.coverage = true;
                break;
            case CoverageJsonOption:
                options.coverageJson = value;
                break;
            case FailUnderOption:
                if (!parseNumber(value, number) || number > 100) {
                    return usageError(
                        "--coverage-fail-under needs a percentage from 0 to 100, "
                        "not '" +
                        std::string(value) + "'");
                }
                options.failUnder = static_cast<int>(number);
                break;
            case StateDiagramOption:
                options.stateDiagram = true;
                break;
            case 'h':
                std::cout << Usage;
                return 0;
            case VersionOption:
                std::cout << "zelk_suite " << ZELK_VERSION << '\n';
                return 0;
            case ':':
                return usageError(std::string("option '") + argv[optind - 1] + "' needs a value");
            default:
                return usageError(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    for (int i = optind; i < argc; ++i) {
        options.paths.emplace_back(argv[i]);
    }
    if (options.paths.empty() && !options.stateDiagram) {
        return usageError("no script or directory given");
    }
    return -1;
}

std::string verdictText(bool pass) { return pass ? "RESULT PASS" : "RESULT FAIL"; }

// Why a script did not pass, in one line.
std::string failureSummary(const ScriptResult& result) {
    if (!result.opened) {
        return "cannot open script file: " + result.openError;
    }
    if (!result.transcriptError.empty()) {
        return "cannot write transcript: " + result.transcriptError;
    }
    return "expected " + verdictText(!result.expectFailure) + ", got " +
           verdictText(result.resultPass);
}

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

bool writeJunit(const std::string& file, const std::vector<ScriptResult>& results,
                const std::vector<DiscoveryError>& errors, std::size_t failed) {
    double total = 0;
    for (const ScriptResult& result : results) {
        total += result.time.count();
    }
    std::ostringstream xml;
    const std::size_t tests = results.size() + errors.size();
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites name=\"zelk_suite\" tests=\"" << tests << "\" failures=\"" << failed
        << "\" errors=\"0\" time=\"" << formatSeconds(total) << "\">\n"
        << "  <testsuite name=\"zelk_suite\" tests=\"" << tests << "\" failures=\"" << failed
        << "\" errors=\"0\" skipped=\"0\" time=\"" << formatSeconds(total) << "\">\n";
    for (const DiscoveryError& error : errors) {
        xml << "    <testcase classname=\"zelk_suite\" name=\"" << xmlAttribute(error.path)
            << "\" file=\"" << xmlAttribute(error.path) << "\" time=\"0\">\n"
            << "      <failure message=\""
            << xmlAttribute("cannot search directory: " + error.reason) << "\"/>\n"
            << "    </testcase>\n";
    }
    for (const ScriptResult& result : results) {
        xml << "    <testcase classname=\"zelk_suite\" name=\"" << xmlAttribute(result.path)
            << "\" file=\"" << xmlAttribute(result.path) << "\" time=\""
            << formatSeconds(result.time.count()) << "\"";
        if (result.passed) {
            xml << "/>\n";
            continue;
        }
        std::string body;
        for (const Problem& problem : result.problems) {
            body += result.path + ":" + std::to_string(problem.line) + ": " + problem.text + "\n";
        }
        xml << ">\n      <failure message=\"" << xmlAttribute(failureSummary(result)) << "\">"
            << xmlText(body) << "</failure>\n    </testcase>\n";
    }
    xml << "  </testsuite>\n</testsuites>\n";
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const std::string text = xml.str();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Options options;
    if (const int status = parseOptions(argc, argv, options); status >= 0) {
        return status;
    }
    if (options.stateDiagram) {
        writeStateDiagram(std::cout, exploreMachine());
        std::cout.flush();
        return std::cout ? 0 : 1;
    }

    const Discovery found = discoverScripts(options.paths);
    if (found.scripts.empty() && found.errors.empty()) {
        std::cout << "0 passed, 0 failed\n";
        std::cerr << "zelk_suite: no *.zelk script found\n";
        return 1;
    }
    const std::vector<ScriptEntry> scripts =
        shard(found.scripts, options.shardIndex, options.shardCount);

    if (!options.transcripts.empty()) {
        // Two scripts named directly in different folders can share a file name: one
        // transcript would overwrite the other.
        std::map<std::string, std::string> names;
        for (const ScriptEntry& entry : scripts) {
            const auto [it, added] = names.emplace(entry.transcriptName, entry.path);
            if (!added) {
                return usageError("'" + it->second + "' and '" + entry.path +
                                  "' would both write the transcript " + entry.transcriptName +
                                  ".out");
            }
        }
    }

    SuiteOptions suite;
    suite.jobs =
        options.jobs != 0 ? options.jobs : std::max(1U, std::thread::hardware_concurrency());
    suite.realTime = options.realTime;
    suite.coverage = options.coverage || !options.coverageJson.empty() || options.failUnder >= 0;
    suite.transcriptDir = options.transcripts;
    const bool showProgress = isatty(STDERR_FILENO) != 0 && scripts.size() > 1;
    if (showProgress) {
        suite.progress = [](std::size_t done, std::size_t total, const ScriptResult& result) {
            std::cerr << "\r\033[K[" << done << '/' << total << "] " << result.path << std::flush;
        };
    }
    const SuiteRun run = runSuite(scripts, suite);
    const std::vector<ScriptResult>& results = run.results;
    if (showProgress) {
        std::cerr << "\r\033[K" << std::flush;
    }

    std::size_t passed = 0;
    std::size_t failed = found.errors.size();
    std::string report;
    for (const DiscoveryError& error : found.errors) {
        report += "FAIL " + error.path + ": cannot search directory: " + error.reason + "\n";
    }
    for (const ScriptResult& result : results) {
        if (result.passed) {
            ++passed;
            continue;
        }
        ++failed;
        report += "FAIL " + result.path + ": " + failureSummary(result) + "\n";
        for (const Problem& problem : result.problems) {
            report += result.path + ":" + std::to_string(problem.line) + ": " + problem.text + "\n";
        }
    }
    std::cout << report;

    int status = failed == 0 ? 0 : 1;
    if (suite.coverage) {
        const CoverageData& total = run.coverage;
        std::vector<std::string> paths;
        paths.reserve(results.size());
        for (const ScriptResult& result : results) {
            paths.push_back(result.path);
        }
        const ReachableMachine machine = exploreMachine();
        if (options.coverage) {
            writeCoverageText(std::cout, total, machine);
        }
        if (!options.coverageJson.empty()) {
            std::ofstream json(options.coverageJson, std::ios::binary | std::ios::trunc);
            writeCoverageJson(json, total, machine, paths);
            json.close();
            if (!json) {
                std::cerr << "zelk_suite: cannot write " << options.coverageJson << '\n';
                status = 1;
            }
        }
        const CoverageSummary summary = summarize(total, machine);
        if (options.failUnder >= 0 && summary.percent() < options.failUnder) {
            std::cerr << "zelk_suite: transitions covered " << summary.covered << '/'
                      << summary.reachable << " (" << summary.percent() << "%), under the "
                      << options.failUnder << "% required\n";
            status = 1;
        }
    }
    if (!options.junit.empty() && !writeJunit(options.junit, results, found.errors, failed)) {
        std::cerr << "zelk_suite: cannot write " << options.junit << '\n';
        status = 1;
    }
    std::cout << passed << " passed, " << failed << " failed\n";
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "zelk_suite: cannot write output\n";
        return 1;
    }
    return status;
}
