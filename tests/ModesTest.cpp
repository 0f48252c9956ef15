#include <array>
#include <functional>
#include <string>

#include <zelk/CleanerDriver.hpp>
#include <zelk/DustProcessor.hpp>
#include <zelk/Modes.hpp>
#include <zelk/MotorDriver.hpp>

#include <gtest/gtest.h>

namespace zelk {
namespace {

OperatingMode& modeOf(ModeKind kind) {
    switch (kind) {
        case ModeKind::Standby:
            return standbyMode();
        case ModeKind::Normal:
            return normalMode();
        case ModeKind::Boost:
            return boostMode();
        case ModeKind::LowBattery:
            return lowBatteryMode();
    }
    return standbyMode();
}

// Drivers in a known state: the motor runs forward facing FRONT, the cleaner has a given
// setting. Each row then shows what one event does to them.
struct Drivers {
    explicit Drivers(bool boost) {
        motor.moveForward();
        cleaner.decideSetting(boost);
    }
    CleanerDriver cleaner;
    MotorDriver motor;
};

enum class Event { Start, LowBattery, LowBatteryCleared, Dust, TimerExpired };

const char* eventName(Event event) {
    switch (event) {
        case Event::Start:
            return "start";
        case Event::LowBattery:
            return "lowBatteryDetected";
        case Event::LowBatteryCleared:
            return "lowBatteryCleared";
        case Event::Dust:
            return "dust";
        case Event::TimerExpired:
            return "timerExpired";
    }
    return "?";
}

OperatingMode& send(OperatingMode& mode, Event event, Drivers& d) {
    switch (event) {
        case Event::Start:
            return mode.startButtonPressed(d.cleaner, d.motor);
        case Event::LowBattery:
            return mode.lowBatteryDetected(d.cleaner, d.motor);
        case Event::LowBatteryCleared:
            return mode.lowBatteryCleared();
        case Event::Dust:
            return DustProcessor{}.decideIsDusted(d.cleaner, mode);
        case Event::TimerExpired:
            return mode.timerExpired(d.cleaner);
    }
    return mode;
}

TEST(ModesTest, TransitionTableWithDriverCommands) {
    struct Case {
        ModeKind from;
        Event event;
        bool boostBefore;  // cleaner "boost" before the event, else "normal"
        ModeKind to;
        const char* cleanerAfter;
        bool movingAfter;
    };
    const Case cases[] = {
        {ModeKind::Standby, Event::Start, true, ModeKind::Normal, "normal", true},
        {ModeKind::Normal, Event::Start, false, ModeKind::Standby, "off", false},
        {ModeKind::Boost, Event::Start, true, ModeKind::Standby, "off", false},
        {ModeKind::LowBattery, Event::Start, false, ModeKind::LowBattery, "off", false},

        {ModeKind::Standby, Event::LowBattery, false, ModeKind::LowBattery, "off", false},
        {ModeKind::Normal, Event::LowBattery, false, ModeKind::LowBattery, "off", false},
        {ModeKind::Boost, Event::LowBattery, true, ModeKind::LowBattery, "off", false},
        {ModeKind::LowBattery, Event::LowBattery, false, ModeKind::LowBattery, "off", false},

        {ModeKind::Standby, Event::LowBatteryCleared, false, ModeKind::Standby, "normal", true},
        {ModeKind::Normal, Event::LowBatteryCleared, false, ModeKind::Normal, "normal", true},
        {ModeKind::Boost, Event::LowBatteryCleared, true, ModeKind::Boost, "boost", true},
        {ModeKind::LowBattery, Event::LowBatteryCleared, false, ModeKind::Standby, "normal", true},

        {ModeKind::Standby, Event::Dust, false, ModeKind::Standby, "normal", true},
        {ModeKind::Normal, Event::Dust, false, ModeKind::Boost, "boost", true},
        {ModeKind::Boost, Event::Dust, false, ModeKind::Boost, "normal", true},
        {ModeKind::LowBattery, Event::Dust, false, ModeKind::LowBattery, "normal", true},

        {ModeKind::Standby, Event::TimerExpired, true, ModeKind::Standby, "boost", true},
        {ModeKind::Normal, Event::TimerExpired, true, ModeKind::Normal, "boost", true},
        {ModeKind::Boost, Event::TimerExpired, true, ModeKind::Normal, "normal", true},
        {ModeKind::LowBattery, Event::TimerExpired, true, ModeKind::LowBattery, "boost", true},
    };
    for (const Case& c : cases) {
        Drivers drivers(c.boostBefore);
        OperatingMode& next = send(modeOf(c.from), c.event, drivers);
        const std::string row = std::string(modeOf(c.from).name()) + " + " + eventName(c.event);
        EXPECT_EQ(&next, &modeOf(c.to)) << row;
        EXPECT_EQ(drivers.cleaner.currentMode(), c.cleanerAfter) << row;
        EXPECT_EQ(drivers.motor.isMoving(), c.movingAfter) << row;
        EXPECT_EQ(drivers.motor.currentDirection(), Direction::FRONT) << row;
    }
}

TEST(ModesTest, IdentityAndChargingPermission) {
    struct Case {
        OperatingMode& mode;
        ModeKind kind;
        const char* name;
        bool canCharge;
    };
    const Case cases[] = {
        {standbyMode(), ModeKind::Standby, "StandbyMode", true},
        {normalMode(), ModeKind::Normal, "NormalMode", false},
        {boostMode(), ModeKind::Boost, "BoostMode", false},
        {lowBatteryMode(), ModeKind::LowBattery, "LowBatteryMode", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.mode.kind(), c.kind) << c.name;
        EXPECT_STREQ(c.mode.name(), c.name);
        EXPECT_EQ(c.mode.canCharge(), c.canCharge) << c.name;
        EXPECT_EQ(&modeOf(c.kind), &c.mode) << c.name << ": accessors return one object";
    }
}

}  // namespace
}  // namespace zelk
