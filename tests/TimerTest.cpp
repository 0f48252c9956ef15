#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.hpp"
#include <zelk/Controller.hpp>

#include <gtest/gtest.h>

namespace zelk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Polls until `done` holds; the deadline only bounds a broken build, it is not a figure.
bool waitUntil(const std::function<bool()>& done, std::chrono::seconds deadline = 30s) {
    const auto end = Clock::now() + deadline;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

bool isNormal(const Controller& c) { return c.currentModeKind() == ModeKind::Normal; }

std::size_t threadCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

// ---- The schedule, on the manual clock: deterministic, and no real time passes.

struct ClockStep {
    std::chrono::milliseconds at;  // when the action happens, counted from the first event
    std::function<void(Controller&)> action;
    const char* modeAfter;  // the mode right after the action
};

void dust(Controller& c) { c.dustDetected(); }
void start(Controller& c) { c.startButtonPressed(); }
void power(Controller& c) { c.powerButtonPressed(); }
void expire(Controller& c) { c.timerExpiredNow(); }
void nothing(Controller& /*c*/) {}

// Runs `steps` on a cleaning controller with a manual clock, checking the mode after each.
void runSchedule(const std::vector<ClockStep>& steps, const char* name) {
    Controller c{manualClock};
    enterMode(c, ModeKind::Normal);
    for (const ClockStep& step : steps) {
        c.advanceClock(step.at - c.clockTime());
        ASSERT_EQ(c.clockTime(), step.at) << name;
        step.action(c);
        EXPECT_EQ(c.currentModeName(), step.modeAfter)
            << name << " at " << step.at.count() << " ms";
    }
}

TEST(ManualClockTest, BoostTimingScenarios) {
    runSchedule(
        {{0ms, dust, "BoostMode"}, {4999ms, nothing, "BoostMode"}, {5000ms, nothing, "NormalMode"}},
        "a boost ends 5 s after the dust that began it, exactly at its due time");
    runSchedule({{0ms, dust, "BoostMode"},
                 {2000ms, dust, "BoostMode"},
                 {4999ms, nothing, "BoostMode"},
                 {5000ms, nothing, "NormalMode"},
                 {7000ms, nothing, "NormalMode"}},
                "a second dust does not lengthen the boost");
    runSchedule({{0ms, dust, "BoostMode"},
                 {1000ms, start, "StandbyMode"},
                 {2000ms, start, "NormalMode"},
                 {3000ms, dust, "BoostMode"},
                 {4999ms, nothing, "BoostMode"},
                 {5000ms, nothing, "NormalMode"},
                 {8000ms, nothing, "NormalMode"}},
                "the older expiry ends a renewed boost early");
    runSchedule({{0ms, dust, "BoostMode"},
                 {1000ms, power, "Off"},
                 {5000ms, nothing, "Off"},
                 {5001ms, power, "StandbyMode"},
                 {9000ms, nothing, "StandbyMode"}},
                "an expiry after power-off finds no mode");
    runSchedule({{0ms, dust, "BoostMode"},
                 {0ms, expire, "NormalMode"},
                 {1000ms, dust, "BoostMode"},
                 {5000ms, nothing, "NormalMode"}},
                "timerExpiredNow leaves the pending expiry in place");
}

TEST(ManualClockTest, OneLongAdvanceAppliesEachExpiryAtItsOwnTime) {
    // Dust at 0 s; at 2 s a new boost (standby, normal, dust). Passing both due times in one
    // advance must apply the first (ending the boost at 5 s) before the second (at 7 s, which
    // finds normal cleaning): a boost re-entered in between would show the order.
    struct Recorder final : ControllerObserver {
        std::vector<Transition> seen;
        void onTransition(const Transition& t) override { seen.push_back(t); }
    } recorder;
    Controller c{manualClock};
    enterMode(c, ModeKind::Normal);
    c.dustDetected();
    c.advanceClock(2s);
    c.startButtonPressed();
    c.startButtonPressed();
    c.dustDetected();
    c.setObserver(&recorder);
    EXPECT_EQ(c.pendingExpiries(), 2U);

    c.advanceClock(std::chrono::milliseconds(2147483647));
    ASSERT_EQ(recorder.seen.size(), 2U);
    EXPECT_EQ(recorder.seen[0].before.mode, ModeKind::Boost);
    EXPECT_EQ(recorder.seen[0].after.mode, ModeKind::Normal);
    EXPECT_EQ(recorder.seen[1].before.mode, ModeKind::Normal);
    EXPECT_EQ(c.pendingExpiries(), 0U);
    EXPECT_EQ(c.clockTime(), 2s + std::chrono::milliseconds(2147483647));
}

TEST(ManualClockTest, ClockSaturatesInsteadOfOverflowing) {
    Controller c{manualClock};
    enterMode(c, ModeKind::Normal);
    for (int i = 0; i < 10000; ++i) {
        c.advanceClock(std::chrono::milliseconds(2147483647));
    }
    const auto late = c.clockTime();
    c.advanceClock(std::chrono::milliseconds(2147483647));
    EXPECT_GE(c.clockTime(), late);
    c.dustDetected();  // arming at the end of time must not overflow either
    c.advanceClock(std::chrono::milliseconds(2147483647));
    EXPECT_EQ(c.currentModeName(), "BoostMode") << "the saturated clock cannot reach the expiry";
    c.timerExpiredNow();
    EXPECT_EQ(c.currentModeName(), "NormalMode");
}

TEST(ManualClockTest, NoThreadIsStartedAndNegativeOrZeroAdvancesDoNothing) {
    const std::size_t before = threadCount();
    Controller c{manualClock};
    enterMode(c, ModeKind::Normal);
    for (int i = 0; i < 1000; ++i) {
        c.dustDetected();
    }
    EXPECT_EQ(threadCount(), before);
    c.advanceClock(0ms);
    c.advanceClock(-5s);
    EXPECT_EQ(c.clockTime(), 0ms);
    EXPECT_EQ(c.currentModeName(), "BoostMode");
    EXPECT_EQ(c.pendingExpiries(), 1000U);
}

TEST(ManualClockTest, RealTimeControllerIgnoresTheManualClock) {
    Controller c{std::chrono::hours(1)};
    enterMode(c, ModeKind::Normal);
    c.dustDetected();
    c.advanceClock(std::chrono::hours(2));
    EXPECT_EQ(c.clockTime(), 0ms);
    EXPECT_EQ(c.currentModeName(), "BoostMode");
}

// ---- The real timer thread.

TEST(BoostTimerTest, DefaultBoostLastsFiveRealSeconds) {
    Controller c;
    enterMode(c, ModeKind::Normal);
    const auto armed = Clock::now();
    c.dustDetected();
    ASSERT_EQ(c.currentModeName(), "BoostMode");
    ASSERT_TRUE(waitUntil([&] { return isNormal(c); }));
    EXPECT_GE(Clock::now() - armed, 5s);
    EXPECT_EQ(c.cleanerMode(), "normal");
}

// A boost that begins after every earlier expiry has been applied finds the timer thread
// idle, waiting for work: arming must wake it, and each such boost must end by itself.
TEST(BoostTimerTest, BoostArmedWhileTheTimerThreadIsIdleStillEnds) {
    constexpr auto delay = 50ms;
    Controller c{delay};
    enterMode(c, ModeKind::Normal);
    for (int round = 0; round < 3; ++round) {
        const auto armed = Clock::now();
        c.dustDetected();
        ASSERT_EQ(c.currentModeName(), "BoostMode") << "round " << round;
        ASSERT_TRUE(waitUntil([&] { return isNormal(c); })) << "round " << round;
        EXPECT_GE(Clock::now() - armed, delay) << "round " << round;
        // Every expiry is spent; wait until the thread has surely gone back to sleep.
        ASSERT_TRUE(waitUntil([&] { return c.pendingExpiries() == 0; }));
        std::this_thread::sleep_for(2 * delay);
    }
}

TEST(BoostTimerTest, ExpiryAfterPowerOffFindsNoModeOnTheRealThread) {
    constexpr auto delay = 50ms;
    Controller c{delay};
    enterMode(c, ModeKind::Normal);
    c.dustDetected();
    c.powerButtonPressed();
    ASSERT_TRUE(waitUntil([&] { return c.pendingExpiries() == 0; }));
    EXPECT_FALSE(c.isPowerOn());
    EXPECT_EQ(c.currentModeName(), "Off");
    EXPECT_EQ(c.cleanerMode(), "off");
}

TEST(BoostTimerTest, DestructionWithExpiriesPendingReturnsAtOnceAndAppliesNone) {
    // With an hour's delay a destructor that waited would hang the test past its timeout.
    auto c = std::make_unique<Controller>(std::chrono::hours(1));
    enterMode(*c, ModeKind::Normal);
    for (int i = 0; i < 100; ++i) {
        c->dustDetected();
    }
    c.reset();

    // Expiries falling due while the destructor runs must not touch the freed controller
    // (the sanitizer builds turn that into a failure).
    for (int round = 0; round < 50; ++round) {
        Controller shortLived{std::chrono::milliseconds(round % 3)};
        enterMode(shortLived, ModeKind::Normal);
        for (int i = 0; i < 20; ++i) {
            shortLived.dustDetected();
        }
    }
}

TEST(BoostTimerTest, ManyPendingExpiriesShareOneTimerThread) {
    Controller c{std::chrono::hours(1)};
    enterMode(c, ModeKind::Normal);
    c.dustDetected();  // the first arming starts the timer thread
    const std::size_t afterFirst = threadCount();
    for (int i = 0; i < 100000; ++i) {
        c.dustDetected();
        ASSERT_TRUE(c.startTimer());
    }
    EXPECT_EQ(threadCount(), afterFirst);
    EXPECT_EQ(c.currentModeName(), "BoostMode");
}

// The caller's thread keeps sending events and queries while short expiries fall due.
// An expiry changes only the mode and the suction, together, so power and mode presence
// must agree in every answer, and every answer must be one of the known texts.
TEST(BoostTimerTest, EventsAndQueriesRaceWithExpiriesSafely) {
    Controller c{std::chrono::milliseconds(1)};
    const std::set<std::string> modes{"Off", "StandbyMode", "NormalMode", "BoostMode",
                                      "LowBatteryMode"};
    const std::set<std::string> settings{"off", "normal", "boost"};
    const bool flags[3] = {true, false, true};
    const auto end = Clock::now() + 1s;
    int rounds = 0;
    int boostsEnded = 0;
    while (Clock::now() < end || rounds < 200) {
        ++rounds;
        c.powerButtonPressed();
        c.startButtonPressed();
        c.dustDetected();
        c.dustDetected();
        c.obstacleDetected(flags);
        EXPECT_TRUE(modes.count(c.currentModeName()));
        EXPECT_TRUE(settings.count(c.cleanerMode()));
        EXPECT_EQ(c.isPowerOn(), c.hasCurrentMode());
        std::this_thread::sleep_for(std::chrono::microseconds(500 + rounds % 1000));
        // Read without the lock while an expiry may be under way: a whole moment, in which
        // boosting and the boost setting go together.
        const Controller::Snapshot seen = c.snapshot();
        EXPECT_EQ(seen.powerOn, seen.hasCurrentMode);
        EXPECT_EQ(seen.modeKind == ModeKind::Boost && seen.hasCurrentMode,
                  seen.cleanerMode == "boost");
        if (c.currentModeKind() == ModeKind::Normal) {
            ++boostsEnded;
        }
        c.lowBatteryDetected();
        c.timerExpiredNow();
        c.powerButtonPressed();
    }
    // Most rounds sleep past the 1 ms boost: the timer thread really was at work.
    EXPECT_GT(boostsEnded, 0);
}

}  // namespace
}  // namespace zelk
