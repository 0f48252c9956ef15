#include <sstream>
#include <string>
#include <vector>

#include "Options.hpp"

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

struct Parsed {
    int status;
    CommandLine options;
    std::string out;
    std::string error;
};

Parsed parse(const std::vector<std::string>& given) {
    std::vector<std::string> arguments;
    arguments.reserve(given.size() + 1);
    arguments.emplace_back("zelk_suite");
    for (const std::string& argument : given) {
        arguments.push_back(argument);
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Parsed parsed{};
    std::ostringstream out;
    std::ostringstream error;
    parsed.status = parseCommandLine(static_cast<int>(arguments.size()), argv.data(),
                                     parsed.options, out, error);
    parsed.out = out.str();
    parsed.error = error.str();
    return parsed;
}

TEST(OptionsTest, ShardTakesEveryKOfNAndRefusesTheRest) {
    struct Case {
        const char* value;
        std::size_t index;  // 0: refused
        std::size_t count;
    };
    const Case cases[] = {
        {"1/1", 1, 1}, {"1/3", 1, 3},  {"3/3", 3, 3},  {"2/10", 2, 10}, {"0/3", 0, 0},
        {"4/3", 0, 0}, {"1/0", 0, 0},  {"3", 0, 0},    {"/3", 0, 0},    {"1/", 0, 0},
        {"a/3", 0, 0}, {"1/3x", 0, 0}, {"-1/3", 0, 0}, {"1//3", 0, 0},  {"", 0, 0},
    };
    for (const Case& c : cases) {
        for (const bool joined : {false, true}) {
            const Parsed p = joined ? parse({std::string("--shard=") + c.value, "dir"})
                                    : parse({"--shard", c.value, "dir"});
            if (c.index == 0) {
                EXPECT_EQ(p.status, 2) << c.value;
                EXPECT_NE(p.error.find("--shard needs K/N"), std::string::npos) << p.error;
            } else {
                EXPECT_EQ(p.status, -1) << c.value << ": " << p.error;
                EXPECT_EQ(p.options.shardIndex, c.index) << c.value;
                EXPECT_EQ(p.options.shardCount, c.count) << c.value;
                EXPECT_EQ(p.options.paths, std::vector<std::string>{"dir"}) << c.value;
            }
        }
    }
}

TEST(OptionsTest, EachOptionAndTheEndOfOptions) {
    const Parsed p =
        parse({"-j", "3", "--transcripts", "t", "--junit=j.xml", "--real-time", "--coverage",
               "--coverage-json", "c.json", "--coverage-fail-under", "90",
               "--outcomes-fail-under=80", "--max-problems", "0", "--", "--not-an-option", "x"});
    ASSERT_EQ(p.status, -1) << p.error;
    EXPECT_EQ(p.options.jobs, 3U);
    EXPECT_EQ(p.options.transcripts, "t");
    EXPECT_EQ(p.options.junit, "j.xml");
    EXPECT_TRUE(p.options.realTime);
    EXPECT_TRUE(p.options.coverage);
    EXPECT_EQ(p.options.coverageJson, "c.json");
    EXPECT_EQ(p.options.failUnder, 90);
    EXPECT_EQ(p.options.outcomesFailUnder, 80);
    EXPECT_EQ(p.options.maxProblems, 0U);
    EXPECT_EQ(p.options.paths, (std::vector<std::string>{"--not-an-option", "x"}));
}

TEST(OptionsTest, NumbersOutOfRangeAreUsageErrors) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--outcomes-fail-under", "101", "d"},
          std::vector<std::string>{"--outcomes-fail-under=-1", "d"},
          std::vector<std::string>{"--coverage-fail-under", "x", "d"},
          std::vector<std::string>{"--max-problems", "1000001", "d"},
          std::vector<std::string>{"--max-problems=", "d"},
          std::vector<std::string>{"-j", "0", "d"}, std::vector<std::string>{"-j", "1025", "d"}}) {
        const Parsed p = parse(arguments);
        EXPECT_EQ(p.status, 2) << arguments[0];
        EXPECT_TRUE(p.error.starts_with("zelk_suite: ")) << p.error;
    }
}

// A merge runs no script: only the coverage reports and gates go with it. --generate may
// be given without a suite; --force needs it.
TEST(OptionsTest, WhatGoesWithAMergeAndWithGenerate) {
    struct Case {
        std::vector<std::string> arguments;
        const char* error;  // nullptr: accepted
    };
    const Case cases[] = {
        {{"--merge-coverage", "--coverage", "--coverage-json", "j", "--coverage-html", "h",
          "--coverage-markdown", "m", "--coverage-fail-under", "90", "--outcomes-fail-under", "80",
          "a.json", "b.json"},
         nullptr},
        {{"--merge-coverage", "--junit", "j.xml", "a.json"},
         "--junit does not go with --merge-coverage, which runs no script"},
        {{"--shard", "1/2", "--merge-coverage", "a.json"}, "--shard does not go with"},
        {{"--merge-coverage", "--generate", "g", "a.json"}, "--generate does not go with"},
        {{"--merge-coverage", "-j", "2", "a.json"}, "--jobs does not go with"},
        {{"--merge-coverage"}, "no coverage report given"},
        {{"--generate", "g"}, nullptr},
        {{"--generate", "g", "--force", "suite"}, nullptr},
        {{"--force", "suite"}, "--force goes only with --generate"},
        {{"--generate"}, "option '--generate' needs a value"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.arguments);
        if (c.error == nullptr) {
            EXPECT_EQ(p.status, -1) << c.arguments[0] << ": " << p.error;
        } else {
            EXPECT_EQ(p.status, 2) << c.arguments[0];
            EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
        }
    }
    const Parsed merge = parse(cases[0].arguments);
    EXPECT_TRUE(merge.options.mergeCoverage);
    EXPECT_EQ(merge.options.coverageHtml, "h");
    EXPECT_EQ(merge.options.coverageMarkdown, "m");
    EXPECT_EQ(merge.options.paths, (std::vector<std::string>{"a.json", "b.json"}));
}

TEST(OptionsTest, HelpAndVersionAnswerWithStatusZero) {
    const Parsed help = parse({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: zelk_suite [options] PATH...\n")) << help.out;
    const Parsed version = parse({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("zelk_suite ")) << version.out;
}

}  // namespace
}  // namespace zelk::suite
