#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "Coverage.hpp"
#include "Exploration.hpp"
#include "Suite.hpp"
#include "reports/Reports.hpp"
#include <zelk/Controller.hpp>

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

constexpr int Off = 0;
constexpr int OffCharging = 1;
constexpr int Standby = 2;
constexpr int Normal = 4;
constexpr int NormalCharging = 5;
constexpr int Boost = 6;
constexpr int BoostCharging = 7;
constexpr int LowBattery = 8;

int event(ControllerEvent e) { return static_cast<int>(e); }

const PairCounts& pair(const CoverageData& data, int state, ControllerEvent e) {
    return data.pairs[static_cast<std::size_t>(state)][static_cast<std::size_t>(event(e))];
}

CoverageData coverageOf(const std::string& script) {
    CoverageData data;
    runScriptText({"c.zelk", "c"}, script, false, &data, nullptr);
    return data;
}

TEST(CoverageTest, ExplorationFindsEveryEventInTheEightReachableStates) {
    const ReachableMachine machine = exploreMachine();
    EXPECT_EQ(machine.reachableCount(), 8 * EventCount);
    for (int state : {NormalCharging, BoostCharging}) {
        for (int e = 0; e < EventCount; ++e) {
            EXPECT_FALSE(
                machine.reachable[static_cast<std::size_t>(state)][static_cast<std::size_t>(e)])
                << outcomeName(state) << " cannot be reached: charging never runs while cleaning";
        }
    }
    // Outcomes come from the real core: charging in low battery depends on the level.
    const auto& charge =
        machine.outcomes[LowBattery][static_cast<std::size_t>(event(ControllerEvent::Charge))];
    EXPECT_TRUE(charge[LowBattery + 1]) << "from 0: still low battery, charging";
    EXPECT_TRUE(charge[Standby + 1]) << "from 5: standby, charging";
    EXPECT_TRUE(charge[Standby]) << "from 95: full at once, standby";
    EXPECT_TRUE(charge[Ignored]) << "at 100: refused";
    const auto& dust =
        machine.outcomes[Normal][static_cast<std::size_t>(event(ControllerEvent::Dust))];
    EXPECT_TRUE(dust[Boost]);
    EXPECT_EQ(std::count(dust.begin(), dust.end(), true), 1);
}

TEST(CoverageTest, SmallSuiteFiguresAndMerging) {
    CoverageData total = coverageOf("power\nstart\nobstacle 1 0 0\nexpect mode NormalMode\n");
    total.merge(coverageOf("start\ncharge\nexpect Charging off\nexpect modePresent false\n"));

    EXPECT_EQ(pair(total, Off, ControllerEvent::Power).hits, 1U);
    EXPECT_EQ(pair(total, Off, ControllerEvent::Power).outcomes[Standby], 1U);
    EXPECT_EQ(pair(total, Standby, ControllerEvent::Start).outcomes[Normal], 1U);
    EXPECT_EQ(pair(total, Off, ControllerEvent::Start).outcomes[Ignored], 1U);
    // A full battery refuses to charge: nothing changes.
    EXPECT_EQ(pair(total, Off, ControllerEvent::Charge).outcomes[Ignored], 1U);
    EXPECT_EQ(pair(total, Off, ControllerEvent::Charge).outcomes[OffCharging], 0U);

    const CoverageSummary summary = summarize(total, exploreMachine());
    EXPECT_EQ(summary.covered, 5);
    EXPECT_EQ(summary.reachable, 88);
    EXPECT_EQ(summary.percent(), 5);

    // mode, charging and hasMode (written as modePresent) were asserted.
    int unasserted = 0;
    for (bool asserted : total.asserted) {
        unasserted += asserted ? 0 : 1;
    }
    EXPECT_EQ(unasserted, FieldCount - 3);
    EXPECT_TRUE(total.asserted[static_cast<std::size_t>(fieldIndex("hasMode"))]);
    // The obstacle came while the motor was running forward.
    EXPECT_TRUE(total.obstaclesWhileMoving[4]);
    EXPECT_FALSE(total.obstaclesWhileMoving[0]);
}

TEST(CoverageTest, ObstaclesCountAsSentWhileMovingOnlyWhenTheMotorRuns) {
    const CoverageData standby = coverageOf("power\nobstacle 0 0 0\n");
    EXPECT_FALSE(standby.obstaclesWhileMoving[0]);
    // After backing away the motor still runs (backwards): that counts as moving.
    const CoverageData backing = coverageOf("power\nstart\nobstacle 1 1 1\nobstacle 0 1 1\n");
    EXPECT_TRUE(backing.obstaclesWhileMoving[7]);
    EXPECT_TRUE(backing.obstaclesWhileMoving[3]);
}

TEST(CoverageTest, TimerExpiriesOnTheVirtualClockAreCounted) {
    const CoverageData data = coverageOf("power\nstart\ndust\ndust\nwait 5s\ntimer-expired\n");
    EXPECT_EQ(pair(data, Boost, ControllerEvent::BoostExpiry).outcomes[Normal], 1U);
    // The second expiry, due together with the first, and timer-expired find normal cleaning.
    EXPECT_EQ(pair(data, Normal, ControllerEvent::BoostExpiry).outcomes[Normal], 2U);
}

// A small known suite: each outcome counted once, whatever its hits.
TEST(CoverageTest, OutcomeCoverageOfASmallKnownSuite) {
    const ReachableMachine machine = exploreMachine();
    struct Case {
        const char* script;
        int pairs;
        int outcomes;
    };
    const Case cases[] = {
        {"power\n", 1, 1},
        {"power\npower\npower\n", 2, 2},  // off -> standby twice, standby -> off once
        {"charge\n", 1, 1},               // a full battery refuses: off, charge, ignored
        // set-up -> off; charge -> off (full at once), then refused
        {"battery 95\ncharge\ncharge\n", 2, 3},
        // set-up -> off; charge -> off (charging); off (charging), charge -> the same
        {"battery 50\ncharge\ncharge\n", 3, 3},
    };
    for (const Case& c : cases) {
        const CoverageSummary summary = summarize(coverageOf(c.script), machine);
        EXPECT_EQ(summary.covered, c.pairs) << c.script;
        EXPECT_EQ(summary.outcomesCovered, c.outcomes) << c.script;
        EXPECT_EQ(summary.outcomesReachable, machine.reachableOutcomeCount()) << c.script;
    }
}

// Outcomes that appear only at battery levels between empty and full, or at full while
// charging: the exploration sets the battery up to every level it can hold.
TEST(CoverageTest, ExplorationFindsOutcomesAtEveryBatteryLevel) {
    const ReachableMachine machine = exploreMachine();
    const auto has = [&machine](int state, ControllerEvent e, int outcome) {
        return machine.outcomes[static_cast<std::size_t>(state)][static_cast<std::size_t>(event(e))]
                               [static_cast<std::size_t>(outcome)];
    };
    // In low battery while charging, at a full battery: charging ends, low battery stays.
    EXPECT_TRUE(has(LowBattery + 1, ControllerEvent::Charge, LowBattery));
    EXPECT_TRUE(has(LowBattery + 1, ControllerEvent::ChargingTick, LowBattery));
    // From 90 up, the one step of a charge fills the battery at once.
    EXPECT_TRUE(has(Off, ControllerEvent::Charge, Off));
    EXPECT_TRUE(has(Standby + 1, ControllerEvent::Charge, Standby));
    EXPECT_EQ(machine.reachableOutcomeCount(), 105);
    // Every level of every controller state that can hold one is a node, reached by the
    // fewest steps.
    EXPECT_EQ(machine.nodes.size(), 8U * 101U);
    for (std::size_t node = 0; node < machine.nodes.size(); ++node) {
        Controller controller{manualClock};
        for (const Step& step : machine.pathTo(static_cast<int>(node))) {
            apply(controller, step);
        }
        const MachineNode& expected = machine.nodes[node];
        ASSERT_EQ(controller.batteryLevel(), expected.level) << node;
        const Controller::Snapshot s = controller.snapshot();
        ASSERT_EQ(stateIndex({s.powerOn, s.modeKind, s.charging}), expected.state) << node;
        ASSERT_EQ(machine.pathTo(static_cast<int>(node)).size(),
                  static_cast<std::size_t>(expected.depth));
    }
}

// The text report lists every outcome of a pair, Off included, and what was never seen.
TEST(CoverageTest, TextReportListsEveryOutcomeAndWhatWasMissed) {
    const CoverageData data = coverageOf("power\npower\npower\n");
    std::ostringstream out;
    writeCoverageText(out, data, exploreMachine());
    const std::string text = out.str();
    EXPECT_NE(text.find("  StandbyMode                power                       1  Off 1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Reachable but never exercised:\n  Off                        start\n"),
              std::string::npos)
        << text;
    const std::size_t gaps = text.find("Outcomes never exercised:\n");
    ASSERT_NE(gaps, std::string::npos) << text;
    EXPECT_NE(text.find("\n  Off                        start                -> ignored\n", gaps),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n  Off                        charge               -> Off\n", gaps),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Expect fields never asserted: power, charging, battery, hasMode,"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("transitions covered: 2/88 (2%)\noutcomes covered: 2/105 (1%)\n"))
        << text;
}

// The JSON of a suite with gaps and several outcomes per pair, parsed back: every reachable
// pair is there, exercised or not, with each outcome it had and each it can have.
TEST(CoverageTest, JsonReportParsesBackWithEveryPairAndOutcome) {
    CoverageData data = coverageOf("battery 95\ncharge\ncharge\npower\npower\npower\n");
    const ReachableMachine machine = exploreMachine();
    std::ostringstream out;
    writeCoverageJson(out, data, machine, {"a.zelk", "b\xff.zelk"});
    const nlohmann::json json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json["covered"], 4);
    EXPECT_EQ(json["reachable"], 88);
    EXPECT_EQ(json["outcomes_covered"], 5);
    EXPECT_EQ(json["outcomes_reachable"], 105);
    ASSERT_EQ(json["transitions"].size(), 88U);
    int reachableOutcomes = 0;
    for (const auto& t : json["transitions"]) {
        reachableOutcomes += static_cast<int>(t["reachable_outcomes"].size());
        if (t["state"] == "Off" && t["event"] == "charge") {
            EXPECT_EQ(t["hits"], 2);
            EXPECT_EQ(t["outcomes"], nlohmann::json::parse(
                                         R"([{"outcome": "Off", "hits": 1, "scripts": [0]},
                                             {"outcome": "ignored", "hits": 1, "scripts": [0]}])"));
            EXPECT_EQ(t["reachable_outcomes"],
                      nlohmann::json::parse(R"j(["Off", "Off (charging)", "ignored"])j"));
        }
        if (t["state"] == "StandbyMode" && t["event"] == "power") {
            EXPECT_EQ(t["reachable_outcomes"], nlohmann::json::parse(R"(["Off"])"));
            EXPECT_EQ(t["outcomes"][0]["outcome"], "Off");
        }
    }
    EXPECT_EQ(reachableOutcomes, 105);
    EXPECT_EQ(json["unexercised_outcomes"].size(), 100U);
    EXPECT_EQ(json["scripts"][1], "b\xef\xbf\xbd.zelk") << "bytes that are not UTF-8 are replaced";
}

TEST(CoverageTest, StateDiagramHasTheModeChangesAndNoGuardedEvents) {
    std::ostringstream out;
    writeStateDiagram(out, exploreMachine());
    const std::string text = out.str();
    EXPECT_TRUE(text.starts_with("stateDiagram-v2\n    [*] --> Off\n")) << text;
    EXPECT_NE(text.find("    NormalMode --> BoostMode : dust\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    BoostMode --> NormalMode : boost expiry\n"), std::string::npos);
    EXPECT_NE(text.find("    LowBatteryMode --> StandbyMode : charge, charging tick, "
                        "low battery cleared\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Off --> NormalMode"), std::string::npos) << "start is guarded while off";
    EXPECT_EQ(text.find("StandbyMode --> StandbyMode"), std::string::npos) << "no self-loops";
}

}  // namespace
}  // namespace zelk::suite
