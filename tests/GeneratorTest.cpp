#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "Coverage.hpp"
#include "Exploration.hpp"
#include "Generator.hpp"
#include "Suite.hpp"

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

using OutcomeKey = std::tuple<int, int, int>;

std::set<OutcomeKey> exercised(const CoverageData& data, const ReachableMachine& machine) {
    std::set<OutcomeKey> seen;
    const std::vector<OutcomeGap> gaps = unexercisedOutcomes(data, machine);
    std::set<OutcomeKey> missing;
    for (const OutcomeGap& gap : gaps) {
        missing.insert({gap.state, gap.event, gap.outcome});
    }
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            for (int o = 0; o < OutcomeCount; ++o) {
                if (machine.outcomes[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)]
                                    [static_cast<std::size_t>(o)] &&
                    !missing.contains({s, e, o})) {
                    seen.insert({s, e, o});
                }
            }
        }
    }
    return seen;
}

// Runs each generated script as zelk_suite would and adds what it exercised to `data`;
// every one must pass.
void runGenerated(const Generation& generation, CoverageData& data) {
    for (const GeneratedScript& script : generation.scripts) {
        const ScriptResult result =
            runScriptText({script.name, script.name}, script.text, false, &data, nullptr);
        EXPECT_TRUE(result.passed) << script.name << " failed:\n" << script.text;
        EXPECT_TRUE(result.resultPass) << script.name;
    }
}

// The lines of a script that send an event: neither comments nor expects.
std::vector<std::string> eventLines(const std::string& text) {
    std::vector<std::string> events;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && !line.starts_with("#") && !line.starts_with("expect ")) {
            events.push_back(line);
        }
    }
    return events;
}

TEST(GeneratorTest, FromNothingEveryOutcomeInFewEventsAndEveryScriptPasses) {
    const ReachableMachine machine = exploreMachine();
    const Generation generation = generateScripts(CoverageData{}, machine);
    ASSERT_FALSE(generation.scripts.empty());
    EXPECT_TRUE(generation.left.empty());
    EXPECT_EQ(generation.outcomes, static_cast<std::size_t>(machine.reachableOutcomeCount()));
    // Tours, not a script per gap: at most one and a half events per outcome.
    EXPECT_LE(2 * generation.events, 3 * generation.outcomes)
        << generation.events << " events for " << generation.outcomes << " outcomes";
    EXPECT_LT(generation.scripts.size(), 10U);

    CoverageData data;
    runGenerated(generation, data);
    const CoverageSummary summary = summarize(data, machine);
    EXPECT_EQ(summary.covered, summary.reachable);
    EXPECT_EQ(summary.outcomesCovered, summary.outcomesReachable);

    std::size_t events = 0;
    std::size_t covers = 0;
    for (const GeneratedScript& script : generation.scripts) {
        events += eventLines(script.text).size();
        EXPECT_EQ(eventLines(script.text).size(), script.events) << script.name;
        covers += script.covers.size();
    }
    EXPECT_EQ(events, generation.events);
    EXPECT_EQ(covers, generation.outcomes) << "each gap is claimed by exactly one script";
    EXPECT_EQ(generation.scripts[0].name, "generated_001.zelk");
    EXPECT_EQ(generation.scripts[1].name, "generated_002.zelk");
}

TEST(GeneratorTest, EveryEventIsFollowedByTheModeChargingAndBattery) {
    const Generation generation = generateScripts(CoverageData{}, exploreMachine());
    for (const GeneratedScript& script : generation.scripts) {
        std::istringstream in(script.text);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        std::size_t checked = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].starts_with("#") || lines[i].starts_with("expect ")) {
                continue;
            }
            ASSERT_LT(i + 3, lines.size()) << script.name << ": " << lines[i] << " is last";
            EXPECT_TRUE(lines[i + 1].starts_with("expect mode ")) << lines[i];
            EXPECT_TRUE(lines[i + 2].starts_with("expect charging ")) << lines[i];
            EXPECT_TRUE(lines[i + 3].starts_with("expect battery ")) << lines[i];
            ++checked;
        }
        EXPECT_EQ(checked, script.events);
    }
}

TEST(GeneratorTest, ScriptsNameWhatTheyCoverAndEndABoostOnTheVirtualClock) {
    const Generation generation = generateScripts(CoverageData{}, exploreMachine());
    std::string all;
    for (const GeneratedScript& script : generation.scripts) {
        all += script.text;
        for (const OutcomeGap& gap : script.covers) {
            const std::string line = "# covers: " + std::string(outcomeName(gap.state)) + ", " +
                                     std::string(eventName(gap.event)) + " -> " +
                                     std::string(outcomeName(gap.outcome)) + "\n";
            EXPECT_NE(script.text.find(line), std::string::npos) << script.name << ": " << line;
        }
    }
    EXPECT_NE(all.find("# covers: LowBatteryMode (charging), charging tick -> StandbyMode\n"),
              std::string::npos);
    // The end of a boost is a wait of the boost's five seconds, then normal cleaning.
    const std::size_t wait = all.find("wait 5s\n");
    ASSERT_NE(wait, std::string::npos);
    EXPECT_EQ(all.compare(wait, 31, "wait 5s\nexpect mode NormalMode\n"), 0);
}

TEST(GeneratorTest, TheSameSuiteGivesTheSameBytes) {
    const ReachableMachine machine = exploreMachine();
    CoverageData partial;
    runScriptText({"p.zelk", "p"}, "power\nstart\ndust\nbattery 3\ncharge\n", false, &partial,
                  nullptr);
    for (const CoverageData& data : {CoverageData{}, partial}) {
        const Generation first = generateScripts(data, machine);
        const Generation second = generateScripts(data, exploreMachine());
        ASSERT_EQ(first.scripts.size(), second.scripts.size());
        for (std::size_t i = 0; i < first.scripts.size(); ++i) {
            EXPECT_EQ(first.scripts[i].name, second.scripts[i].name);
            EXPECT_EQ(first.scripts[i].text, second.scripts[i].text);
        }
    }
}

// From a partial suite: only its gaps are claimed, and the suite with the generated scripts
// covers every pair and every outcome.
TEST(GeneratorTest, FromAPartialSuiteTheGapsAreFilled) {
    const ReachableMachine machine = exploreMachine();
    const char* const suites[] = {
        "power\nstart\nexpect mode NormalMode\n",
        "battery 4\npower\ncharge\ncharge-tick\nstop-charge\npower\nstart\ndust\nwait 5s\n",
        "# Expected result: FAIL\npower\nexpect mode BoostMode\n",  // failing scripts count
    };
    for (const char* script : suites) {
        CoverageData data;
        runScriptText({"p.zelk", "p"}, script, false, &data, nullptr);
        const std::set<OutcomeKey> before = exercised(data, machine);
        const Generation generation = generateScripts(data, machine);
        EXPECT_TRUE(generation.left.empty()) << script;
        EXPECT_EQ(generation.outcomes,
                  static_cast<std::size_t>(machine.reachableOutcomeCount()) - before.size())
            << script;
        for (const GeneratedScript& generated : generation.scripts) {
            for (const OutcomeGap& gap : generated.covers) {
                EXPECT_FALSE(before.contains({gap.state, gap.event, gap.outcome}))
                    << generated.name << " claims an outcome the suite exercised";
            }
        }
        runGenerated(generation, data);
        const CoverageSummary summary = summarize(data, machine);
        EXPECT_EQ(summary.covered, summary.reachable) << script;
        EXPECT_EQ(summary.outcomesCovered, summary.outcomesReachable) << script;
    }
}

TEST(GeneratorTest, NothingToGenerateForACompleteSuite) {
    const ReachableMachine machine = exploreMachine();
    const Generation first = generateScripts(CoverageData{}, machine);
    CoverageData complete;
    runGenerated(first, complete);
    const Generation none = generateScripts(complete, machine);
    EXPECT_TRUE(none.scripts.empty());
    EXPECT_EQ(none.outcomes, 0U);
    EXPECT_EQ(none.events, 0U);
}

}  // namespace
}  // namespace zelk::suite
