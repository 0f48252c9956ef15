#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

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

void startCleaning(Controller& c) {
    c.powerButtonPressed();
    c.startButtonPressed();
}

bool isNormal(const Controller& c) { return c.currentModeKind() == ModeKind::Normal; }

// The boost ends by itself one boost duration after the dust event that began it.
TEST(BoostTimerTest, BoostEndsByItselfAfterTheDelay) {
    constexpr auto delay = 300ms;
    Controller c{delay};
    startCleaning(c);
    const auto armed = Clock::now();
    c.dustDetected();
    EXPECT_EQ(c.currentModeName(), "BoostMode");
    EXPECT_EQ(c.cleanerMode(), "boost");

    ASSERT_TRUE(waitUntil([&] { return isNormal(c); }));
    EXPECT_GE(Clock::now() - armed, delay) << "the boost ended before its delay";
    EXPECT_EQ(c.cleanerMode(), "normal");
}

TEST(BoostTimerTest, DefaultBoostLastsFiveRealSeconds) {
    Controller c;
    startCleaning(c);
    const auto armed = Clock::now();
    c.dustDetected();
    ASSERT_EQ(c.currentModeName(), "BoostMode");
    ASSERT_TRUE(waitUntil([&] { return isNormal(c); }));
    EXPECT_GE(Clock::now() - armed, 5s);
    EXPECT_EQ(c.cleanerMode(), "normal");
}

TEST(BoostTimerTest, SecondDustDoesNotLengthenTheBoost) {
    constexpr auto delay = 2s;
    Controller c{delay};
    startCleaning(c);
    c.dustDetected();
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(c.currentModeName(), "BoostMode");
    const auto secondDust = Clock::now();
    c.dustDetected();  // arms a second, independent expiry

    ASSERT_TRUE(waitUntil([&] { return isNormal(c); }));
    EXPECT_LT(Clock::now() - secondDust, delay) << "the second dust extended the boost";

    // The second expiry falls due on NormalMode and changes nothing.
    std::this_thread::sleep_until(secondDust + delay + 300ms);
    EXPECT_EQ(c.currentModeName(), "NormalMode");
    EXPECT_EQ(c.cleanerMode(), "normal");
}

TEST(BoostTimerTest, OlderPendingExpiryEndsARenewedBoostEarly) {
    constexpr auto delay = 3s;
    Controller c{delay};
    startCleaning(c);
    c.dustDetected();        // boost, expiry pending
    c.startButtonPressed();  // standby
    c.startButtonPressed();  // normal
    std::this_thread::sleep_for(1s);
    const auto renewed = Clock::now();
    c.dustDetected();  // boost again
    ASSERT_EQ(c.currentModeName(), "BoostMode");

    ASSERT_TRUE(waitUntil([&] { return isNormal(c); }));
    EXPECT_LT(Clock::now() - renewed, delay) << "the older expiry should end the new boost";
}

TEST(BoostTimerTest, ExpiryAfterPowerOffFindsNoModeAndChangesNothing) {
    constexpr auto delay = 200ms;
    Controller c{delay};
    startCleaning(c);
    c.dustDetected();
    c.powerButtonPressed();
    std::this_thread::sleep_for(delay + 300ms);
    EXPECT_FALSE(c.isPowerOn());
    EXPECT_EQ(c.currentModeName(), "Off");
    EXPECT_EQ(c.cleanerMode(), "off");
}

TEST(BoostTimerTest, TimerExpiredNowLeavesThePendingExpiryInPlace) {
    constexpr auto delay = 3s;
    Controller c{delay};
    startCleaning(c);
    c.dustDetected();
    c.timerExpiredNow();
    EXPECT_EQ(c.currentModeName(), "NormalMode");
    EXPECT_EQ(c.cleanerMode(), "normal");

    // A new boost armed later is ended by the first dust's expiry, still pending.
    std::this_thread::sleep_for(1s);
    const auto renewed = Clock::now();
    c.dustDetected();
    ASSERT_TRUE(waitUntil([&] { return isNormal(c); }));
    EXPECT_LT(Clock::now() - renewed, delay);
}

TEST(BoostTimerTest, DestructionWithExpiriesPendingReturnsAtOnceAndAppliesNone) {
    // With an hour's delay a destructor that waited would hang the test past its timeout.
    auto c = std::make_unique<Controller>(std::chrono::hours(1));
    startCleaning(*c);
    for (int i = 0; i < 100; ++i) {
        c->dustDetected();
    }
    c.reset();

    // Expiries falling due while the destructor runs must not touch the freed controller
    // (the sanitizer builds turn that into a failure).
    for (int round = 0; round < 50; ++round) {
        Controller shortLived{std::chrono::milliseconds(round % 3)};
        startCleaning(shortLived);
        for (int i = 0; i < 20; ++i) {
            shortLived.dustDetected();
        }
    }
}

std::size_t threadCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

TEST(BoostTimerTest, ManyPendingExpiriesShareOneTimerThread) {
    Controller c{std::chrono::hours(1)};
    startCleaning(c);
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
