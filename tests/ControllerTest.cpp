#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.hpp"
#include <zelk/Controller.hpp>
#include <zelk/ControllerObserver.hpp>

#include <gtest/gtest.h>

namespace zelk {
namespace {

using Snapshot = Controller::Snapshot;

// Boost expiries are pushed an hour away so that no expiry falls inside a test.
class ControllerTest : public ::testing::Test {
protected:
    Controller c{std::chrono::hours(1)};

    void enter(ModeKind kind) {
        enterMode(c, kind);
        ASSERT_EQ(c.currentModeKind(), kind);
    }
};

const bool AllClear[3] = {false, false, false};

TEST_F(ControllerTest, NewControllerStandsSwitchedOff) {
    EXPECT_FALSE(c.isPowerOn());
    EXPECT_FALSE(c.isCharging());
    EXPECT_FALSE(c.hasCurrentMode());
    EXPECT_EQ(c.currentModeKind(), ModeKind::Standby);
    EXPECT_EQ(c.currentModeName(), "Off");
    EXPECT_EQ(c.batteryLevel(), 100);
    EXPECT_EQ(c.cleanerMode(), "off");
    EXPECT_FALSE(c.isCleanerCleaning());
    EXPECT_FALSE(c.isMotorMoving());
    EXPECT_FALSE(c.isMotorForward());
    EXPECT_EQ(c.motorDirection(), Direction::FRONT);
    EXPECT_FALSE(c.isDustSensorActive());
    EXPECT_FALSE(c.isObstacleSensorActive());
}

TEST_F(ControllerTest, EventsWhileSwitchedOffChangeNothing) {
    const std::pair<const char*, std::function<void(Controller&)>> events[] = {
        {"start", [](Controller& x) { x.startButtonPressed(); }},
        {"lowBattery", [](Controller& x) { x.lowBatteryDetected(); }},
        {"lowBatteryCleared", [](Controller& x) { x.lowBatteryCleared(); }},
        {"dust", [](Controller& x) { x.dustDetected(); }},
        {"obstacle", [](Controller& x) { x.obstacleDetected(AllClear); }},
        {"timerExpiredNow", [](Controller& x) { x.timerExpiredNow(); }},
        {"chargingTick", [](Controller& x) { x.chargingTick(); }},
        {"stopCharging", [](Controller& x) { x.stopCharging(); }},
    };
    for (const auto& [name, event] : events) {
        Controller fresh{std::chrono::hours(1)};
        const Snapshot before = fresh.snapshot();
        event(fresh);
        EXPECT_EQ(fresh.snapshot(), before) << name;
    }
}

TEST_F(ControllerTest, PowerOnStartsInStandbyWithSensorsActive) {
    c.powerButtonPressed();
    EXPECT_TRUE(c.isPowerOn());
    EXPECT_TRUE(c.hasCurrentMode());
    EXPECT_EQ(c.currentModeName(), "StandbyMode");
    EXPECT_TRUE(c.isDustSensorActive());
    EXPECT_TRUE(c.isObstacleSensorActive());
    EXPECT_EQ(c.cleanerMode(), "off");
    EXPECT_FALSE(c.isMotorMoving());
}

TEST_F(ControllerTest, PowerOffFromEveryModeThenOnAgainStartsInStandby) {
    for (ModeKind kind :
         {ModeKind::Standby, ModeKind::Normal, ModeKind::Boost, ModeKind::LowBattery}) {
        Controller x{std::chrono::hours(1)};
        x.setBatteryLevel(42);
        x.powerButtonPressed();
        x.startButtonPressed();
        x.obstacleDetected(std::array<bool, 3>{true, false, false}.data());  // turn LEFT
        if (kind == ModeKind::Standby) {
            x.startButtonPressed();
        }
        if (kind == ModeKind::Boost) {
            x.dustDetected();
        }
        if (kind == ModeKind::LowBattery) {
            x.lowBatteryDetected();
        }
        ASSERT_EQ(x.currentModeKind(), kind);

        x.powerButtonPressed();
        const int row = static_cast<int>(kind);
        EXPECT_FALSE(x.isPowerOn()) << row;
        EXPECT_EQ(x.currentModeName(), "Off") << row;
        EXPECT_FALSE(x.isCharging()) << row;
        EXPECT_EQ(x.cleanerMode(), "off") << row;
        EXPECT_FALSE(x.isMotorMoving()) << row;
        EXPECT_FALSE(x.isDustSensorActive()) << row;
        EXPECT_FALSE(x.isObstacleSensorActive()) << row;
        EXPECT_EQ(x.batteryLevel(), 42) << row;
        // The heading is kept until the next power-on resets it.
        EXPECT_EQ(x.motorDirection(), Direction::LEFT) << row;

        x.powerButtonPressed();
        EXPECT_EQ(x.currentModeName(), "StandbyMode") << row;
        EXPECT_EQ(x.motorDirection(), Direction::FRONT) << row;
    }
}

TEST_F(ControllerTest, ChargeBatteryByModeAndLevel) {
    struct Case {
        const char* setup;  // "off" or a mode name
        int level;
        int levelAfter;
        bool chargingAfter;
        const char* modeAfter;
    };
    const Case cases[] = {
        {"off", 50, 60, true, "Off"},
        {"off", 95, 100, false, "Off"},
        {"off", 100, 100, false, "Off"},
        {"StandbyMode", 95, 100, false, "StandbyMode"},
        {"StandbyMode", 100, 100, false, "StandbyMode"},
        {"NormalMode", 50, 50, false, "NormalMode"},
        {"BoostMode", 50, 50, false, "BoostMode"},
        // Low battery clears in a step that lifts the level above 10.
        {"LowBatteryMode", 0, 10, true, "LowBatteryMode"},
        {"LowBatteryMode", 5, 15, true, "StandbyMode"},
        {"LowBatteryMode", 95, 100, false, "StandbyMode"},
        {"LowBatteryMode", 100, 100, false, "LowBatteryMode"},
    };
    for (const Case& row : cases) {
        Controller x{std::chrono::hours(1)};
        const std::string setup = row.setup;
        if (setup != "off") {
            x.powerButtonPressed();
            if (setup == "NormalMode" || setup == "BoostMode") {
                x.startButtonPressed();
            }
            if (setup == "BoostMode") {
                x.dustDetected();
            }
            if (setup == "LowBatteryMode") {
                x.lowBatteryDetected();
            }
            ASSERT_EQ(x.currentModeName(), setup);
        }
        x.setBatteryLevel(row.level);
        x.chargeBattery();
        const std::string name = setup + " at " + std::to_string(row.level);
        EXPECT_EQ(x.batteryLevel(), row.levelAfter) << name;
        EXPECT_EQ(x.isCharging(), row.chargingAfter) << name;
        EXPECT_EQ(x.currentModeName(), row.modeAfter) << name;
    }
}

TEST_F(ControllerTest, FromEmptyInLowBatteryTheSecondStepClearsIt) {
    enter(ModeKind::LowBattery);
    c.setBatteryLevel(0);
    c.chargeBattery();
    EXPECT_EQ(c.currentModeName(), "LowBatteryMode");
    c.chargingTick();
    EXPECT_EQ(c.batteryLevel(), 20);
    EXPECT_EQ(c.currentModeName(), "StandbyMode");
    EXPECT_TRUE(c.isCharging());
    for (int i = 0; i < 8; ++i) {
        c.chargingTick();
    }
    EXPECT_EQ(c.batteryLevel(), 100);
    EXPECT_FALSE(c.isCharging());
}

TEST_F(ControllerTest, SettingFullWhileChargingEndsChargingWithoutClearingLowBattery) {
    enter(ModeKind::LowBattery);
    c.setBatteryLevel(0);
    c.chargeBattery();
    ASSERT_TRUE(c.isCharging());
    c.setBatteryLevel(100);
    EXPECT_TRUE(c.isCharging()) << "setting the level alone does not end charging";
    c.chargingTick();
    EXPECT_FALSE(c.isCharging());
    EXPECT_EQ(c.currentModeName(), "LowBatteryMode");
}

TEST_F(ControllerTest, TicksAndStopWhileNotChargingChangeNothing) {
    enter(ModeKind::Standby);
    c.setBatteryLevel(30);
    const Snapshot before = c.snapshot();
    c.chargingTick();
    c.stopCharging();
    EXPECT_EQ(c.snapshot(), before);
}

TEST_F(ControllerTest, StopChargingEndsChargingAndTicksThenDoNothing) {
    c.setBatteryLevel(30);
    c.chargeBattery();
    ASSERT_TRUE(c.isCharging());
    c.stopCharging();
    EXPECT_FALSE(c.isCharging());
    c.chargingTick();
    EXPECT_EQ(c.batteryLevel(), 40);
}

TEST_F(ControllerTest, ChargingStartedWhileOffGuardsStartAndDustAfterPowerOn) {
    c.setBatteryLevel(50);
    c.chargeBattery();
    c.powerButtonPressed();
    ASSERT_TRUE(c.isCharging()) << "switching on leaves charging as it was";

    const Snapshot before = c.snapshot();
    c.startButtonPressed();
    c.dustDetected();
    EXPECT_EQ(c.snapshot(), before) << "start and dust are ignored while charging";

    // Obstacles, low battery and its clearance are taken while charging.
    c.lowBatteryDetected();
    EXPECT_EQ(c.currentModeName(), "LowBatteryMode");
    c.lowBatteryCleared();
    EXPECT_EQ(c.currentModeName(), "StandbyMode");

    for (int i = 0; i < 4; ++i) {
        c.chargingTick();
    }
    EXPECT_FALSE(c.isCharging());
    c.startButtonPressed();
    EXPECT_EQ(c.currentModeName(), "NormalMode");
}

TEST_F(ControllerTest, PowerOffEndsCharging) {
    c.powerButtonPressed();
    c.setBatteryLevel(50);
    c.chargeBattery();
    ASSERT_TRUE(c.isCharging());
    c.powerButtonPressed();
    EXPECT_FALSE(c.isCharging());
    EXPECT_EQ(c.batteryLevel(), 60);
}

TEST_F(ControllerTest, SetBatteryLevelClampsAndTouchesNothingElse) {
    enter(ModeKind::Normal);
    c.setBatteryLevel(-5);
    EXPECT_EQ(c.batteryLevel(), 0);
    c.setBatteryLevel(250);
    EXPECT_EQ(c.batteryLevel(), 100);
    c.setBatteryLevel(3);
    EXPECT_EQ(c.currentModeName(), "NormalMode");
    EXPECT_FALSE(c.isCharging());
}

TEST_F(ControllerTest, ObstacleSteersButNeverChangesTheMode) {
    enter(ModeKind::Boost);
    c.obstacleDetected(nullptr);
    EXPECT_EQ(c.motorDirection(), Direction::FRONT);

    const bool frontBlocked[3] = {true, false, false};
    c.obstacleDetected(frontBlocked);
    EXPECT_EQ(c.motorDirection(), Direction::LEFT);
    EXPECT_TRUE(c.isMotorForward());
    EXPECT_EQ(c.currentModeName(), "BoostMode");

    const bool allBlocked[3] = {true, true, true};
    c.obstacleDetected(allBlocked);
    EXPECT_TRUE(c.isMotorMoving());
    EXPECT_FALSE(c.isMotorForward());
    EXPECT_EQ(c.motorDirection(), Direction::LEFT);
    EXPECT_EQ(c.currentModeName(), "BoostMode");
}

TEST_F(ControllerTest, ObstacleInStandbyLeavesTheMotorAlone) {
    enter(ModeKind::Standby);
    const Snapshot before = c.snapshot();
    c.obstacleDetected(AllClear);
    EXPECT_EQ(c.snapshot(), before);
}

TEST_F(ControllerTest, StartWhileChargingInStandbyIsIgnoredButLowBatteryIsTaken) {
    enter(ModeKind::Standby);
    c.setBatteryLevel(40);
    c.chargeBattery();
    c.startButtonPressed();
    EXPECT_EQ(c.currentModeName(), "StandbyMode");
    EXPECT_EQ(c.cleanerMode(), "off");
    c.lowBatteryDetected();
    EXPECT_EQ(c.currentModeName(), "LowBatteryMode");
}

// Only normal cleaning reacts to dust (it boosts), and only boost cleaning to an expiry.
TEST_F(ControllerTest, DustAndTimerExpiryInEachMode) {
    struct Case {
        const char* event;
        void (Controller::*send)();
        ModeKind from;
        const char* modeAfter;
        const char* cleanerAfter;
    };
    const Case cases[] = {
        {"dust", &Controller::dustDetected, ModeKind::Standby, "StandbyMode", "off"},
        {"dust", &Controller::dustDetected, ModeKind::Normal, "BoostMode", "boost"},
        {"dust", &Controller::dustDetected, ModeKind::Boost, "BoostMode", "boost"},
        {"dust", &Controller::dustDetected, ModeKind::LowBattery, "LowBatteryMode", "off"},
        {"expiry", &Controller::timerExpiredNow, ModeKind::Standby, "StandbyMode", "off"},
        {"expiry", &Controller::timerExpiredNow, ModeKind::Normal, "NormalMode", "normal"},
        {"expiry", &Controller::timerExpiredNow, ModeKind::Boost, "NormalMode", "normal"},
        {"expiry", &Controller::timerExpiredNow, ModeKind::LowBattery, "LowBatteryMode", "off"},
    };
    for (const Case& row : cases) {
        Controller x{std::chrono::hours(1)};
        enterMode(x, row.from);
        (x.*row.send)();
        const std::string name =
            std::string(row.event) + " in mode " + std::to_string(static_cast<int>(row.from));
        EXPECT_EQ(x.currentModeName(), row.modeAfter) << name;
        EXPECT_EQ(x.cleanerMode(), row.cleanerAfter) << name;
    }
}

TEST_F(ControllerTest, ModeKindCannotTellOffFromStandbyButHasCurrentModeCan) {
    EXPECT_EQ(c.currentModeKind(), ModeKind::Standby);
    EXPECT_FALSE(c.hasCurrentMode());
    c.powerButtonPressed();
    EXPECT_EQ(c.currentModeKind(), ModeKind::Standby);
    EXPECT_TRUE(c.hasCurrentMode());
}

// A charging step at the top of the range, in low battery while charging: only a step that
// adds charge clears low battery, and a step that finds the battery full ends charging.
TEST_F(ControllerTest, ChargingTickAtTheTopOfTheRangeInLowBattery) {
    struct Case {
        int setTo;  // the level set while charging, before the tick
        int level;  // after the tick
        bool charging;
        ModeKind mode;
    };
    const Case cases[] = {
        {100, 100, false, ModeKind::LowBattery},  // nothing added: low battery stays
        {250, 100, false, ModeKind::LowBattery},  // clamped to full: the same
        {99, 100, false, ModeKind::Standby},      // filled by this step: cleared, charging ends
        {90, 100, false, ModeKind::Standby},     {89, 99, true, ModeKind::Standby},
        {0, 10, true, ModeKind::LowBattery},  // 10 is not above 10
    };
    for (const Case& row : cases) {
        Controller x{manualClock};
        enterMode(x, ModeKind::LowBattery);
        x.setBatteryLevel(0);
        x.chargeBattery();
        ASSERT_TRUE(x.isCharging());
        ASSERT_EQ(x.currentModeKind(), ModeKind::LowBattery);
        x.setBatteryLevel(row.setTo);
        x.chargingTick();
        EXPECT_EQ(x.batteryLevel(), row.level) << "set to " << row.setTo;
        EXPECT_EQ(x.isCharging(), row.charging) << "set to " << row.setTo;
        EXPECT_EQ(x.currentModeKind(), row.mode) << "set to " << row.setTo;
    }
}

// What the locked queries answer, one by one.
Snapshot fromQueries(const Controller& c) {
    const std::string mode = c.currentModeName();
    const std::string setting = c.cleanerMode();
    Snapshot s = c.snapshot();  // for the static texts only; every field is overwritten
    EXPECT_EQ(s.modeName, mode);
    EXPECT_EQ(s.cleanerMode, setting);
    s.powerOn = c.isPowerOn();
    s.charging = c.isCharging();
    s.batteryLevel = c.batteryLevel();
    s.hasCurrentMode = c.hasCurrentMode();
    s.modeKind = c.currentModeKind();
    s.dustSensorActive = c.isDustSensorActive();
    s.obstacleSensorActive = c.isObstacleSensorActive();
    s.cleanerCleaning = c.isCleanerCleaning();
    s.motorMoving = c.isMotorMoving();
    s.motorForward = c.isMotorForward();
    s.motorDirection = c.motorDirection();
    return s;
}

class CountingObserver : public ControllerObserver {
public:
    void onTransition(const Transition& /*transition*/) override { ++count; }
    int count = 0;
};

// snapshot() reads the state each step publishes at its end, without the lock. Through a
// long pseudo-random walk over every event, set-up and clock step, with and without an
// observer, it must answer what the locked queries answer, and a state code must always
// stand for one and the same snapshot.
TEST(SnapshotTest, PublishedStateAgreesWithTheQueriesThroughARandomWalk) {
    const int levels[] = {-2147483647 - 1, -5, 0, 5, 9, 10, 11, 50, 95, 100, 150, 2147483647};
    for (const bool observed : {false, true}) {
        Controller c{manualClock};
        CountingObserver observer;
        if (observed) {
            c.setObserver(&observer);
        }
        std::map<std::uint64_t, Snapshot> byCode;
        std::uint64_t state = 12345;
        for (int step = 0; step < 20000; ++step) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            const bool flags[3] = {(state & 0x100) != 0, (state & 0x200) != 0,
                                   (state & 0x400) != 0};
            switch (state % 13) {
                case 0:
                    c.powerButtonPressed();
                    break;
                case 1:
                    c.startButtonPressed();
                    break;
                case 2:
                    c.chargeBattery();
                    break;
                case 3:
                    c.chargingTick();
                    break;
                case 4:
                    c.stopCharging();
                    break;
                case 5:
                    c.lowBatteryDetected();
                    break;
                case 6:
                    c.lowBatteryCleared();
                    break;
                case 7:
                    c.dustDetected();
                    break;
                case 8:
                    c.obstacleDetected(flags);
                    break;
                case 9:
                    c.setBatteryLevel(levels[(state >> 12) % std::size(levels)]);
                    break;
                case 10:
                    c.timerExpiredNow();
                    break;
                case 11:
                    c.advanceClock(std::chrono::milliseconds((state >> 12) % 6000));
                    break;
                default:
                    c.obstacleDetected(nullptr);
                    break;
            }
            const Snapshot snapshot = c.snapshot();
            ASSERT_EQ(snapshot, fromQueries(c)) << "step " << step;
            const std::uint64_t code = c.stateCode();
            ASSERT_EQ(Controller::snapshotOf(code), snapshot) << "step " << step;
            const auto [known, fresh] = byCode.emplace(code, snapshot);
            ASSERT_TRUE(fresh || known->second == snapshot) << "step " << step;
        }
        // The walk went through many states, and the observer heard every step.
        EXPECT_GT(byCode.size(), 100U);
        EXPECT_EQ(observer.count > 0, observed);
    }
}

// snapshotOf is public and takes any number: codes no controller gave must still decode to
// known texts, never read past a table (the sanitizer builds would tell).
TEST(SnapshotTest, AnyNumberDecodesToKnownTexts) {
    const std::set<std::string_view> modes{"Off", "StandbyMode", "NormalMode", "BoostMode",
                                           "LowBatteryMode"};
    const std::set<std::string_view> settings{"off", "normal", "boost", "unknown"};
    std::uint64_t code = 99;
    for (const std::uint64_t fixed : {std::uint64_t{0}, ~std::uint64_t{0}}) {
        const Snapshot s = Controller::snapshotOf(fixed);
        EXPECT_TRUE(modes.count(s.modeName)) << fixed;
        EXPECT_TRUE(settings.count(s.cleanerMode)) << fixed;
    }
    for (int i = 0; i < 10000; ++i) {
        code ^= code << 13;
        code ^= code >> 7;
        code ^= code << 17;
        const Snapshot s = Controller::snapshotOf(code);
        ASSERT_TRUE(modes.count(s.modeName)) << code;
        ASSERT_TRUE(settings.count(s.cleanerMode)) << code;
        ASSERT_EQ(s.hasCurrentMode, s.modeName != "Off") << code;
    }
}

// Every snapshot a controller can be in comes back from its state code whole: each flag, the
// level at both ends of int, each mode with its name, each setting and each heading.
TEST(SnapshotTest, EveryStateSurvivesItsCode) {
    struct Mode {
        bool present;
        ModeKind kind;
        std::string_view name;
    };
    const Mode modes[] = {{false, ModeKind::Standby, "Off"},
                          {true, ModeKind::Standby, "StandbyMode"},
                          {true, ModeKind::Normal, "NormalMode"},
                          {true, ModeKind::Boost, "BoostMode"},
                          {true, ModeKind::LowBattery, "LowBatteryMode"}};
    const int levels[] = {-2147483647 - 1, -1, 0, 10, 11, 100, 2147483647};
    const std::string_view settings[] = {"off", "normal", "boost"};
    const Direction directions[] = {Direction::FRONT, Direction::LEFT, Direction::RIGHT,
                                    Direction::BACK};
    std::set<std::uint64_t> codes;
    int states = 0;
    for (const Mode& mode : modes) {
        for (const int level : levels) {
            for (const std::string_view setting : settings) {
                for (const Direction direction : directions) {
                    for (unsigned flags = 0; flags < 64; ++flags) {
                        const Snapshot state{
                            .powerOn = (flags & 1U) != 0,
                            .charging = (flags & 2U) != 0,
                            .batteryLevel = level,
                            .hasCurrentMode = mode.present,
                            .modeKind = mode.kind,
                            .modeName = mode.name,
                            .dustSensorActive = (flags & 4U) != 0,
                            .obstacleSensorActive = (flags & 8U) != 0,
                            .cleanerCleaning = (flags & 16U) != 0,
                            .cleanerMode = setting,
                            .motorMoving = (flags & 32U) != 0,
                            .motorForward = (flags & 1U) == 0,
                            .motorDirection = direction,
                        };
                        const std::uint64_t code = encodeState(state);
                        ASSERT_EQ(decodeState(code), state) << code;
                        codes.insert(code);
                        ++states;
                    }
                }
            }
        }
    }
    EXPECT_EQ(codes.size(), static_cast<std::size_t>(states)) << "two states shared a code";
}

// What the observer hears of each event: taken, or ignored where a guard drops it, and then
// the state it found is the state it left.
TEST(ControllerObserverTest, EveryGuardedEventIsReportedAsIgnored) {
    struct Recorder final : ControllerObserver {
        void onTransition(const Transition& t) override { heard.push_back(t); }
        std::vector<Transition> heard;
    };
    enum Setup { Off, OffAt50, Standby, StandbyCharging, Normal, LowBatteryFull };
    const auto setUp = [](Controller& c, Setup setup) {
        switch (setup) {
            case Off:
                break;
            case OffAt50:
                c.setBatteryLevel(50);
                break;
            case Standby:
                enterMode(c, ModeKind::Standby);
                break;
            case StandbyCharging:
                c.setBatteryLevel(50);
                enterMode(c, ModeKind::Standby);
                c.chargeBattery();
                break;
            case Normal:
                enterMode(c, ModeKind::Normal);
                break;
            case LowBatteryFull:
                enterMode(c, ModeKind::LowBattery);
                break;
        }
    };
    struct Case {
        Setup setup;
        ControllerEvent event;
        std::function<void(Controller&)> send;
        bool ignored;
    };
    const bool flags[3] = {true, false, false};
    const Case cases[] = {
        {Off, ControllerEvent::Start, [](Controller& c) { c.startButtonPressed(); }, true},
        {Off, ControllerEvent::LowBattery, [](Controller& c) { c.lowBatteryDetected(); }, true},
        {Off, ControllerEvent::LowBatteryCleared, [](Controller& c) { c.lowBatteryCleared(); },
         true},
        {Off, ControllerEvent::Dust, [](Controller& c) { c.dustDetected(); }, true},
        {Off, ControllerEvent::Obstacle, [&flags](Controller& c) { c.obstacleDetected(flags); },
         true},
        {Standby, ControllerEvent::Obstacle, [](Controller& c) { c.obstacleDetected(nullptr); },
         true},
        {Off, ControllerEvent::BoostExpiry, [](Controller& c) { c.timerExpiredNow(); }, true},
        {Off, ControllerEvent::Charge, [](Controller& c) { c.chargeBattery(); }, true},
        {Off, ControllerEvent::ChargingTick, [](Controller& c) { c.chargingTick(); }, true},
        {Normal, ControllerEvent::Charge, [](Controller& c) { c.chargeBattery(); }, true},
        {LowBatteryFull, ControllerEvent::Charge, [](Controller& c) { c.chargeBattery(); }, true},
        {StandbyCharging, ControllerEvent::Start, [](Controller& c) { c.startButtonPressed(); },
         true},
        {StandbyCharging, ControllerEvent::Dust, [](Controller& c) { c.dustDetected(); }, true},
        // Taken: the same events where no guard drops them, and those that are never dropped.
        {OffAt50, ControllerEvent::Charge, [](Controller& c) { c.chargeBattery(); }, false},
        {Standby, ControllerEvent::Obstacle, [&flags](Controller& c) { c.obstacleDetected(flags); },
         false},
        {Standby, ControllerEvent::BoostExpiry, [](Controller& c) { c.timerExpiredNow(); }, false},
        {StandbyCharging, ControllerEvent::LowBattery,
         [](Controller& c) { c.lowBatteryDetected(); }, false},
        {Off, ControllerEvent::Power, [](Controller& c) { c.powerButtonPressed(); }, false},
        {Off, ControllerEvent::StopCharging, [](Controller& c) { c.stopCharging(); }, false},
        {Off, ControllerEvent::BatterySetup, [](Controller& c) { c.setBatteryLevel(3); }, false},
    };
    for (const Case& k : cases) {
        const std::string name =
            std::to_string(k.setup) + "/" + std::to_string(static_cast<int>(k.event));
        Controller c{manualClock};
        setUp(c, k.setup);
        Recorder recorder;
        c.setObserver(&recorder);
        k.send(c);
        ASSERT_EQ(recorder.heard.size(), 1U) << name;
        const Transition& t = recorder.heard[0];
        EXPECT_EQ(t.event, k.event) << name;
        EXPECT_EQ(t.ignored, k.ignored) << name;
        if (t.ignored) {
            EXPECT_EQ(t.after, t.before) << name;
        }
    }
}

}  // namespace
}  // namespace zelk
