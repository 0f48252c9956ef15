#include <sstream>
#include <string>

#include "Coverage.hpp"
#include "Suite.hpp"

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

TEST(CoverageTest, TextReportEndsWithTheSummaryAndListsWhatWasMissed) {
    const CoverageData data = coverageOf("power\n");
    std::ostringstream out;
    writeCoverageText(out, data, exploreMachine());
    const std::string text = out.str();
    EXPECT_TRUE(text.ends_with("transitions covered: 1/88 (1%)\n")) << text;
    EXPECT_NE(text.find("Reachable but never exercised:\n  Off                        start\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Expect fields never asserted: power, charging, battery, hasMode,"),
              std::string::npos);
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
