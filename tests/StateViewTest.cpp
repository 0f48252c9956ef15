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
        NumberBuffer digits;
        EXPECT_EQ(fieldText(c, row.name, digits), std::optional<std::string_view>(row.text))
            << row.name;
        bool known = false;
        EXPECT_EQ(fieldValue(c, row.name, known), row.text) << row.name;
        EXPECT_TRUE(known) << row.name;
    }
}

// The battery's digits are written into the caller's buffer: every int fits.
TEST(StateViewTest, BatteryDigitsAtTheEndsOfTheRange) {
    Controller c{manualClock};
    for (const auto& [level, text] :
         {std::pair{0, "0"}, std::pair{100, "100"}, std::pair{-2147483647 - 1, "0"},
          std::pair{2147483647, "100"}}) {
        c.setBatteryLevel(level);
        NumberBuffer digits;
        EXPECT_EQ(fieldText(c, "battery", digits), std::optional<std::string_view>(text)) << level;
    }
}

TEST(StateViewTest, UnknownFieldNames) {
    Controller c{std::chrono::hours(1)};
    for (const char* name :
         {"motor_direction", "motor-direction", "dir", "speed", "", " power", "power "}) {
        NumberBuffer digits;
        EXPECT_EQ(fieldText(c, name, digits), std::nullopt) << '"' << name << '"';
        bool known = true;
        EXPECT_EQ(fieldValue(c, name, known), "") << '"' << name << '"';
        EXPECT_FALSE(known) << '"' << name << '"';
    }
}

TEST(StateViewTest, SwitchedOffControllerStillGivesEveryField) {
    Controller c{std::chrono::hours(1)};
    NumberBuffer digits;
    EXPECT_EQ(fieldText(c, "mode", digits), "Off");
    EXPECT_EQ(fieldText(c, "hasMode", digits), "false");
    EXPECT_EQ(fieldText(c, "motorDirection", digits), "FRONT");
    EXPECT_EQ(fieldText(c, "motor", digits), "stopped");
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
        std::string fresh;
        appendStatus(fresh, c);
        EXPECT_EQ(cache.line(c), fresh) << "step " << step;
        ++step;
    }
}

// More states than the cache has slots, twice over: every slot is reused, and a state
// whose slot another state has taken since must still get its own line.
TEST(StateLineCacheTest, StatesThatShareASlotKeepTheirOwnLines) {
    Controller c{manualClock};
    StateLineCache cache;
    for (int round = 0; round < 2; ++round) {
        for (int level = 0; level <= 100; ++level) {
            for (int press = 0; press < 2; ++press) {
                c.setBatteryLevel(level);
                std::string fresh;
                appendStatus(fresh, c);
                ASSERT_EQ(cache.line(c), fresh) << "level " << level << " round " << round;
                c.powerButtonPressed();
            }
        }
    }
}

}  // namespace
}  // namespace zelk::sim
