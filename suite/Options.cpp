#include "Options.hpp"

#include <charconv>
#include <getopt.h>
#include <system_error>

#ifndef ZELK_VERSION
#define ZELK_VERSION "unknown"
#endif

namespace zelk::suite {

const std::string_view SuiteUsage =
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
    "      --outcomes-fail-under PCT\n"
    "                             exit with status 1 when under PCT% of the reachable\n"
    "                             outcomes were exercised\n"
    "      --max-problems N       show at most N problem lines per script (default 10)\n"
    "      --state-diagram        print the state machine as a Mermaid diagram and exit\n"
    "  -h, --help                 show this help and exit\n"
    "      --version              show the version and exit\n"
    "\n"
    "Exit status: 0 when every script passed, 1 when one did not, 2 for a usage error.\n";

namespace {

enum LongOnly {
    TranscriptsOption = 256,
    JunitOption,
    ShardOption,
    RealTimeOption,
    CoverageOption,
    CoverageJsonOption,
    FailUnderOption,
    OutcomesFailUnderOption,
    MaxProblemsOption,
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

int reportUsageError(std::ostream& error, std::string_view message) {
    error << "zelk_suite: " << message << "\n"
          << SuiteUsage.substr(0, SuiteUsage.find('\n') + 1)
          << "Try 'zelk_suite --help' for more information.\n";
    return 2;
}

}  // namespace

int parseCommandLine(int argc, char** argv, CommandLine& options, std::ostream& out,
                     std::ostream& error) {
    const auto usageError = [&error](std::string_view message) {
        return reportUsageError(error, message);
    };
    static const ::option LongOptions[] = {
        {"jobs", required_argument, nullptr, 'j'},
        {"transcripts", required_argument, nullptr, TranscriptsOption},
        {"junit", required_argument, nullptr, JunitOption},
        {"shard", required_argument, nullptr, ShardOption},
        {"real-time", no_argument, nullptr, RealTimeOption},
        {"coverage", no_argument, nullptr, CoverageOption},
        {"coverage-json", required_argument, nullptr, CoverageJsonOption},
        {"coverage-fail-under", required_argument, nullptr, FailUnderOption},
        {"outcomes-fail-under", required_argument, nullptr, OutcomesFailUnderOption},
        {"max-problems", required_argument, nullptr, MaxProblemsOption},
        {"state-diagram", no_argument, nullptr, StateDiagramOption},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, VersionOption},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    optind = 0;  // a fresh scan, also when called again
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
            case OutcomesFailUnderOption:
                if (!parseNumber(value, number) || number > 100) {
                    return usageError(
                        "--outcomes-fail-under needs a percentage from 0 to 100, not '" +
                        std::string(value) + "'");
                }
                options.outcomesFailUnder = static_cast<int>(number);
                break;
            case MaxProblemsOption:
                if (!parseNumber(value, number) || number > 1000000) {
                    return usageError("--max-problems needs a number from 0 to 1000000, not '" +
                                      std::string(value) + "'");
                }
                options.maxProblems = static_cast<std::size_t>(number);
                break;
            case StateDiagramOption:
                options.stateDiagram = true;
                break;
            case 'h':
                out << SuiteUsage;
                return 0;
            case VersionOption:
                out << "zelk_suite " << ZELK_VERSION << '\n';
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

}  // namespace zelk::suite
