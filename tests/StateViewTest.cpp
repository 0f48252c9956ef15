#include <functional>
#include <sstream>
#include <string>

#include "StateView.hpp"
#include <zelk/Controller.hpp>

#include <gtest/gtest.h>

namespace zelk::sim {
namespace {

TEST(StateViewTest, StateLineOfANewAndASwitchedOnController) {
    Controller c{std::chrono::hours(1)};
    std::ostringstream out;
    printStatus(out, c);
    c.powerButtonPressed();
    printStatus(out, c);
    EXPECT_EQ(out.str(),
              "STATE power=off charging=off battery=100 hasMode=false mode=Off "
              "dustSensor=inactive obstacleSensor=inactive cleaner=off cleanerMode=off "
              "motor=stopped motorForward=false\n"
              "STATE power=on charging=off battery=100 hasMode=true mode=StandbyMode "
              "dustSensor=active obstacleSensor=active cleaner=off cleanerMode=off "
              "motor=stopped motorForward=false\n");
}

TEST(StateViewTest, FieldNamesInAnyCaseAndTheirTexts) {
    Controller c{std::chrono::hours(1)};
    c.powerButtonPressed();
    c.startButtonPressed();
    c.dustDetected();
    c.setBatteryLevel(7);
    const bool frontBlocked[3] = {true, false, false};
    c.obstacleDetected(frontBlocked);
    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"power", "on"},
        {"POWER", "on"},
        {"charging", "off"},
        {"battery", "7"},
        {"hasMode", "true"},
        {"HASMODE", "true"},
        {"modePresent", "true"},
        {"mode", "BoostMode"},
        {"dustSensor", "active"},
        {"obstaclesensor", "active"},
        {"cleaner", "on"},
        {"cleanerMode", "boost"},
        {"motor", "moving"},
        {"motorForward", "true"},
        {"motorDirection", "LEFT"},
    };
    for (const Case& row : cases) {
        bool known = false;
        EXPECT_EQ(fieldValue(c, row.name, known), row.text) << row.name;
        EXPECT_TRUE(known) << row.name;
    }
}

TEST(StateViewTest, UnknownFieldNames) {
    Controller c{std::chrono::hours(1)};
    for (const char* name :
         {"motor_direction", "motor-direction", "dir", "speed", "", " power", "power "}) {
        bool known = true;
        EXPECT_EQ(fieldValue(c, name, known), "") << '"' << name << '"';
        EXPECT_FALSE(known) << '"' << name << '"';
    }
}

TEST(StateViewTest, SwitchedOffControllerStillGivesEveryField) {
    Controller c{std::chrono::hours(1)};
    bool known = false;
    EXPECT_EQ(fieldValue(c, "mode", known), "Off");
    EXPECT_EQ(fieldValue(c, "hasMode", known), "false");
    EXPECT_EQ(fieldValue(c, "motorDirection", known), "FRONT");
    EXPECT_EQ(fieldValue(c, "motor", known), "stopped");
}

TEST(StateViewTest, ValuesMatchIgnoringAsciiCaseOnly) {
    struct Case {
        const char* actual;
        const char* expected;
        bool matches;
    };
    const Case cases[] = {
        {"on", "ON", true},
        {"StandbyMode", "standbymode", true},
        {"FRONT", "front", true},
        {"Off", "off", true},
        {"true", "1", false},
        {"on", "yes", false},
        {"50", "050", false},
        {"on", "on ", false},
        {"BoostMode", "Boost", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(valueMatches(c.actual, c.expected), c.matches)
            << c.actual << " vs " << c.expected;
    }
}

TEST(StateViewTest, DirectionTexts) {
    EXPECT_EQ(directionText(Direction::FRONT), "FRONT");
    EXPECT_EQ(directionText(Direction::LEFT), "LEFT");
    EXPECT_EQ(directionText(Direction::RIGHT), "RIGHT");
    EXPECT_EQ(directionText(Direction::BACK), "BACK");
    EXPECT_EQ(directionText(static_cast<Direction>(7)), "UNKNOWN");
}

// The cache must give, at every step, the line appendStatus formats afresh: through states
// it revisits, more distinct states than it keeps, and changes that touch one field only.
TEST(StateLineCacheTest, EveryLineIsTheFreshlyFormattedOne) {
    Controller c{manualClock};
    StateLineCache cache;
    const bool blocked[3] = {true, false, false};
    const std::function<void()> steps[] = {
        [&] {},
        [&] { c.powerButtonPressed(); },
        [&] { c.startButtonPressed(); },
        [&] { c.dustDetected(); },
        [&] { c.timerExpiredNow(); },  // only the mode and the suction change
        [&] { c.dustDetected(); },     // back to a state seen before
        [&] { c.obstacleDetected(blocked); },
        [&] { c.lowBatteryDetected(); },
        [&] { c.setBatteryLevel(5); },
        [&] { c.chargeBattery(); },
        [&] { c.chargingTick(); },
        [&] { c.chargingTick(); },
        [&] { c.chargingTick(); },
        [&] { c.setBatteryLevel(100); },
        [&] { c.startButtonPressed(); },
        [&] { c.powerButtonPressed(); },  // off again: the first state but one
        [&] { c.powerButtonPressed(); },
    };
    int step = 0;
    for (const auto& apply : steps) {
        apply();
        std::string cached;
        std::string fresh;
        cache.append(cached, c);
        appendStatus(fresh, c);
        EXPECT_EQ(cached, fresh) << "step " << step;
        ++step;
    }
}

}  // namespace
}  // namespace zelk::sim
