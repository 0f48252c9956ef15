#include "Options.hpp"

#include <array>
#include <charconv>
#include <getopt.h>
#include <iterator>
#include <system_error>

#ifndef ZELK_VERSION
#define ZELK_VERSION "unknown"
#endif

namespace zelk::suite {
namespace {

bool parseNumber(std::string_view text, unsigned long long& out) {
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc{} && end == text.data() + text.size();
}

// A whole number from `low` to `high` into `out`, or the message of a usage error.
template <typename T>
std::string number(std::string_view option, std::string_view what, std::string_view value,
                   unsigned long long low, unsigned long long high, T& out) {
    unsigned long long parsed = 0;
    if (!parseNumber(value, parsed) || parsed < low || parsed > high) {
        return std::string(option) + " needs " + std::string(what) + " from " +
               std::to_string(low) + " to " + std::to_string(high) + ", not '" +
               std::string(value) + "'";
    }
    out = static_cast<T>(parsed);
    return {};
}

std::string shardOf(CommandLine& options, std::string_view value) {
    const std::size_t slash = value.find('/');
    unsigned long long index = 0;
    unsigned long long count = 0;
    if (slash == std::string_view::npos || !parseNumber(value.substr(0, slash), index) ||
        !parseNumber(value.substr(slash + 1), count) || count < 1 || index < 1 || index > count) {
        return "--shard needs K/N with 1 <= K <= N, not '" + std::string(value) + "'";
    }
    options.shardIndex = static_cast<std::size_t>(index);
    options.shardCount = static_cast<std::size_t>(count);
    return {};
}

std::string snapshotModeOf(CommandLine& options, std::string_view value) {
    struct Mode {
        std::string_view name;
        SnapshotMode mode;
    };
    constexpr Mode Modes[] = {{"check", SnapshotMode::Check},
                              {"require", SnapshotMode::Require},
                              {"new", SnapshotMode::New},
                              {"all", SnapshotMode::All},
                              {"ignore", SnapshotMode::Ignore}};
    for (const Mode& mode : Modes) {
        if (value == mode.name) {
            options.snapshots = mode.mode;
            return {};
        }
    }
    return "--snapshots needs check, require, new, all or ignore, not '" + std::string(value) + "'";
}

// One option: its names, its argument's name (empty: none), its help (lines after the first
// each begin a new line of the description), what it does with its value (a message returned
// is a usage error) and whether it goes with --merge-coverage, which runs no script.
struct OptionSpec {
    std::string_view name;
    char shortName;  // 0: none
    std::string_view argument;
    std::string_view help;
    std::string (*apply)(CommandLine& options, std::string_view value);
    bool withMerge = false;
};

// In the order of the help text.
constexpr OptionSpec Options[] = {
    {"jobs", 'j', "N", "run N scripts at once (default: the hardware threads)",
     [](CommandLine& o, std::string_view v) {
         return number("-j", "a number of jobs", v, 1, 1024, o.jobs);
     }},
    {"filter", 'k', "PATTERN",
     "run only the scripts whose path contains PATTERN,\nor matches it whole as a glob when it "
     "holds *, ?\nor [; repeatable: a script runs if any matches",
     [](CommandLine& o, std::string_view v) {
         o.filters.emplace_back(v);
         return std::string();
     }},
    {"exclude", 0, "PATTERN", "do not run the scripts that match PATTERN\n(repeatable)",
     [](CommandLine& o, std::string_view v) {
         o.excludes.emplace_back(v);
         return std::string();
     }},
    {"last-failed", 0, "",
     "run only the scripts that did not pass in the\nlast run (all of them when there is no "
     "record)",
     [](CommandLine& o, std::string_view) {
         o.lastFailed = true;
         return std::string();
     }},
    {"cache-dir", 0, "DIR", "keep the record of the last run in DIR\n(default .zelk_suite)",
     [](CommandLine& o, std::string_view v) {
         o.cacheDir = v;
         return std::string();
     }},
    {"shard", 0, "K/N", "run only the K-th of N slices of the sorted\nscript list", &shardOf},
    {"list", 0, "", "print the scripts that would run, one per line,\nand exit",
     [](CommandLine& o, std::string_view) {
         o.list = true;
         return std::string();
     }},
    {"fail-fast", 'x', "",
     "start no script after the first one that does\nnot pass; the rest count as skipped",
     [](CommandLine& o, std::string_view) {
         o.failFast = true;
         return std::string();
     }},
    {"snapshots", 0, "MODE",
     "compare each transcript with its snapshot\nNAME.out beside the script: check (the default:\n"
     "those that have one), require (each must have\none), new (write the missing ones), all "
     "(write\nthe missing and rewrite those that differ), ignore",
     &snapshotModeOf},
    {"transcripts", 0, "DIR", "write each script's transcript to DIR/NAME.out",
     [](CommandLine& o, std::string_view v) {
         o.transcripts = v;
         return std::string();
     }},
    {"junit", 0, "FILE", "write a JUnit XML report",
     [](CommandLine& o, std::string_view v) {
         o.junit = v;
         return std::string();
     }},
    {"max-problems", 0, "N",
     "show at most N problem lines per script (default\n10), and at most 4N lines of a snapshot "
     "diff",
     [](CommandLine& o, std::string_view v) {
         return number("--max-problems", "a number", v, 0, 1000000, o.maxProblems);
     }},
    {"durations", 0, "N", "list the N slowest scripts after the results",
     [](CommandLine& o, std::string_view v) {
         return number("--durations", "a number", v, 0, 1000000, o.durations);
     }},
    {"real-time", 0, "", "real five-second boost timers; wait sleeps",
     [](CommandLine& o, std::string_view) {
         o.realTime = true;
         return std::string();
     }},
    {"coverage", 0, "", "print the transition coverage after the results",
     [](CommandLine& o, std::string_view) {
         o.coverage = true;
         return std::string();
     },
     true},
    {"coverage-json", 0, "FILE", "write the transition coverage as JSON",
     [](CommandLine& o, std::string_view v) {
         o.coverageJson = v;
         return std::string();
     },
     true},
    {"coverage-html", 0, "FILE",
     "write the coverage as a page: the state machine drawn\nwith each transition coloured and "
     "counted, the tables\nof pairs and outcomes, the gaps, the scripts of each pair",
     [](CommandLine& o, std::string_view v) {
         o.coverageHtml = v;
         return std::string();
     },
     true},
    {"coverage-markdown", 0, "FILE",
     "write a Markdown summary of the coverage for CI job\npages, with a Mermaid diagram",
     [](CommandLine& o, std::string_view v) {
         o.coverageMarkdown = v;
         return std::string();
     },
     true},
    {"coverage-fail-under", 0, "PCT",
     "exit with status 1 when under PCT% of the reachable\ntransitions were exercised",
     [](CommandLine& o, std::string_view v) {
         return number("--coverage-fail-under", "a percentage", v, 0, 100, o.failUnder);
     },
     true},
    {"outcomes-fail-under", 0, "PCT",
     "exit with status 1 when under PCT% of the reachable\noutcomes were exercised",
     [](CommandLine& o, std::string_view v) {
         return number("--outcomes-fail-under", "a percentage", v, 0, 100, o.outcomesFailUnder);
     },
     true},
    {"merge-coverage", 0, "",
     "take the PATHs as coverage reports of shard runs\n(--coverage-json), merge them, and report "
     "and gate\nas one run over all their scripts would",
     [](CommandLine& o, std::string_view) {
         o.mergeCoverage = true;
         return std::string();
     },
     true},
    {"generate", 0, "DIR",
     "run the suite (which may be empty) with coverage, then\nwrite into DIR scripts that "
     "exercise every reachable\noutcome it left unexercised",
     [](CommandLine& o, std::string_view v) {
         o.generate = v;
         return std::string();
     }},
    {"force", 0, "", "let --generate write into a DIR that is not empty",
     [](CommandLine& o, std::string_view) {
         o.force = true;
         return std::string();
     }},
    {"state-diagram", 0, "", "print the state machine as a Mermaid diagram and exit",
     [](CommandLine& o, std::string_view) {
         o.stateDiagram = true;
         return std::string();
     }},
    {"help", 'h', "", "show this help and exit",
     [](CommandLine& o, std::string_view) {
         o.help = true;
         return std::string();
     }},
    {"version", 0, "", "show the version and exit",
     [](CommandLine& o, std::string_view) {
         o.version = true;
         return std::string();
     }},
};
constexpr std::size_t OptionCount = std::size(Options);

// Long options only get a number past every character as their getopt value.
constexpr int LongOnlyBase = 256;

}  // namespace

std::string suiteUsage() {
    // The descriptions start at column 30; a longer option has its description below it.
    constexpr std::size_t Indent = 29;
    std::string text =
        "Usage: zelk_suite [options] PATH...\n"
        "Runs scenario scripts in one process, each on a controller of its own with a virtual\n"
        "clock, and reports every script whose verdict is not the expected one. Each PATH is a\n"
        "script or a directory searched recursively for *.zelk. A script whose first line "
        "reads\n"
        "\"# Expected result: FAIL\" is expected to end in RESULT FAIL, every other in RESULT "
        "PASS.\n"
        "\n"
        "Options:\n";
    for (const OptionSpec& spec : Options) {
        std::string head = "  ";
        head += spec.shortName != 0 ? std::string{'-', spec.shortName} + ", " : "    ";
        head += "--";
        head += spec.name;
        if (!spec.argument.empty()) {
            head += ' ';
            head += spec.argument;
        }
        text += head;
        if (head.size() + 1 > Indent) {
            text += '\n';
            text.append(Indent, ' ');
        } else {
            text.append(Indent - head.size(), ' ');
        }
        for (const char ch : spec.help) {
            text += ch;
            if (ch == '\n') {
                text.append(Indent, ' ');
            }
        }
        text += '\n';
    }
    text +=
        "\n"
        "Exit status: 0 when every script passed, 1 when one did not, 2 for a usage error.\n";
    return text;
}

int reportUsageError(std::ostream& error, std::string_view message) {
    const std::string usage = suiteUsage();
    error << "zelk_suite: " << message << "\n"
          << usage.substr(0, usage.find('\n') + 1)
          << "Try 'zelk_suite --help' for more information.\n";
    return 2;
}

int parseCommandLine(int argc, char** argv, CommandLine& options, std::ostream& out,
                     std::ostream& error) {
    // getopt_long's table and short-option string, from the one table above.
    std::array<::option, OptionCount + 1> longOptions{};
    std::string shortOptions = ":";
    for (std::size_t i = 0; i < OptionCount; ++i) {
        const OptionSpec& spec = Options[i];
        const int value = spec.shortName != 0 ? spec.shortName : LongOnlyBase + static_cast<int>(i);
        longOptions[i] = {spec.name.data(), spec.argument.empty() ? no_argument : required_argument,
                          nullptr, value};
        if (spec.shortName != 0) {
            shortOptions += spec.shortName;
            shortOptions += spec.argument.empty() ? "" : ":";
        }
    }
    opterr = 0;
    optind = 0;  // a fresh scan, also when called again
    int found = 0;
    std::string notForMerge;  // the first option given that a merge has no use for
    while ((found = getopt_long(argc, argv, shortOptions.c_str(), longOptions.data(), nullptr)) !=
           -1) {
        if (found == ':') {
            return reportUsageError(error,
                                    std::string("option '") + argv[optind - 1] + "' needs a value");
        }
        const OptionSpec* spec = nullptr;
        if (found >= LongOnlyBase && found < LongOnlyBase + static_cast<int>(OptionCount)) {
            spec = &Options[found - LongOnlyBase];
        } else {
            for (const OptionSpec& candidate : Options) {
                if (candidate.shortName != 0 && candidate.shortName == found) {
                    spec = &candidate;
                }
            }
        }
        if (spec == nullptr) {
            return reportUsageError(error,
                                    std::string("unknown option '") + argv[optind - 1] + "'");
        }
        const std::string message = spec->apply(options, optarg != nullptr ? optarg : "");
        if (!message.empty()) {
            return reportUsageError(error, message);
        }
        if (!spec->withMerge && notForMerge.empty()) {
            notForMerge = "--" + std::string(spec->name);
        }
    }
    if (options.help) {
        out << suiteUsage();
        return 0;
    }
    if (options.version) {
        out << "zelk_suite " << ZELK_VERSION << '\n';
        return 0;
    }
    for (int i = optind; i < argc; ++i) {
        options.paths.emplace_back(argv[i]);
    }
    if (options.paths.empty() && !options.stateDiagram && options.generate.empty()) {
        return reportUsageError(error, options.mergeCoverage ? "no coverage report given"
                                                             : "no script or directory given");
    }
    if (options.mergeCoverage && !notForMerge.empty()) {
        return reportUsageError(error, notForMerge +
                                           " does not go with --merge-coverage, which "
                                           "runs no script");
    }
    if (options.force && options.generate.empty()) {
        return reportUsageError(error, "--force goes only with --generate");
    }
    return -1;
}

}  // namespace zelk::suite
