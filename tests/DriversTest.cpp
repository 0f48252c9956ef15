#include <limits>

#include <zelk/BatteryDriver.hpp>
#include <zelk/CleanerDriver.hpp>
#include <zelk/DustSensorDriver.hpp>
#include <zelk/MotorDriver.hpp>
#include <zelk/ObstacleSensorDriver.hpp>

#include <gtest/gtest.h>

namespace zelk {
namespace {

TEST(BatteryDriverTest, NewBatteryIsFullAtOneHundred) {
    BatteryDriver battery;
    EXPECT_EQ(battery.level(), 100);
    EXPECT_TRUE(battery.isFull());
    EXPECT_FALSE(battery.startCharging());
}

TEST(BatteryDriverTest, SetLevelClampsAndRecomputesFullFlag) {
    struct Case {
        int set;
        int level;
        bool full;
        bool low;
    };
    const Case cases[] = {
        {-5, 0, false, true},
        {0, 0, false, true},
        {10, 10, false, true},
        {11, 11, false, false},
        {99, 99, false, false},
        {100, 100, true, false},
        {250, 100, true, false},
        {std::numeric_limits<int>::min(), 0, false, true},
        {std::numeric_limits<int>::max(), 100, true, false},
    };
    for (const Case& c : cases) {
        BatteryDriver battery;
        battery.setLevel(c.set);
        EXPECT_EQ(battery.level(), c.level) << "setLevel(" << c.set << ")";
        EXPECT_EQ(battery.isFull(), c.full) << "setLevel(" << c.set << ")";
        EXPECT_EQ(battery.isLow(), c.low) << "setLevel(" << c.set << ")";
    }
}

TEST(BatteryDriverTest, ChargingStepAddsTenAndSaturatesAtFull) {
    struct Case {
        int start;
        bool rose;
        int level;
        bool full;
    };
    const Case cases[] = {
        {0, true, 10, false},  {5, true, 15, false},  {89, true, 99, false},
        {90, true, 100, true}, {95, true, 100, true}, {100, false, 100, true},
    };
    for (const Case& c : cases) {
        BatteryDriver battery;
        battery.setLevel(c.start);
        EXPECT_EQ(battery.inclineLV(), c.rose) << "from " << c.start;
        EXPECT_EQ(battery.level(), c.level) << "from " << c.start;
        EXPECT_EQ(battery.isFull(), c.full) << "from " << c.start;
    }
}

TEST(BatteryDriverTest, TenStepsFromEmptyFillTheBatteryThenStepsRefuse) {
    BatteryDriver battery;
    battery.setLevel(0);
    for (int step = 1; step <= 10; ++step) {
        ASSERT_TRUE(battery.inclineLV()) << "step " << step;
        EXPECT_EQ(battery.level(), step * 10);
    }
    EXPECT_TRUE(battery.isFull());
    EXPECT_FALSE(battery.inclineLV());
    EXPECT_EQ(battery.level(), 100);
}

TEST(BatteryDriverTest, StartChargingAnswersWhetherThereIsRoom) {
    BatteryDriver battery;
    battery.setLevel(99);
    EXPECT_TRUE(battery.startCharging());
    battery.setLevel(100);
    EXPECT_FALSE(battery.startCharging());
}

TEST(BatteryDriverTest, DischargeSaturatesAtZeroAndClearsFullFlag) {
    BatteryDriver battery;
    battery.declineLV();
    EXPECT_EQ(battery.level(), 99);
    EXPECT_FALSE(battery.isFull());
    battery.setLevel(0);
    battery.declineLV();
    EXPECT_EQ(battery.level(), 0);
}

TEST(BatteryDriverTest, LevelSurvivesPowerCycle) {
    BatteryDriver battery;
    battery.setLevel(5);
    battery.turnOffBattery();
    battery.initialize();
    EXPECT_EQ(battery.level(), 5);
    EXPECT_FALSE(battery.isFull());
}

TEST(CleanerDriverTest, SettingTextsAndCleaningFlag) {
    CleanerDriver cleaner;
    EXPECT_EQ(cleaner.currentMode(), "off");
    EXPECT_FALSE(cleaner.isCleaning());

    cleaner.decideSetting(false);  // also from "off"
    EXPECT_EQ(cleaner.currentMode(), "normal");
    EXPECT_TRUE(cleaner.isCleaning());

    cleaner.decideSetting(true);
    EXPECT_EQ(cleaner.currentMode(), "boost");
    EXPECT_TRUE(cleaner.isCleaning());

    cleaner.stopCleaning();
    EXPECT_EQ(cleaner.currentMode(), "off");
    cleaner.startCleaning();
    EXPECT_EQ(cleaner.currentMode(), "normal");
    cleaner.initialize();
    EXPECT_EQ(cleaner.currentMode(), "off");
    EXPECT_FALSE(cleaner.isCleaning());
}

TEST(DustSensorDriverTest, ActivationFollowsPowerAndDustNeverReads) {
    DustSensorDriver sensor;
    EXPECT_FALSE(sensor.isActive());
    sensor.initialize();
    EXPECT_TRUE(sensor.isActive());
    EXPECT_FALSE(sensor.isDustDetected());
    EXPECT_FALSE(sensor.hasDust());
    sensor.deactivateDustSensor();
    EXPECT_FALSE(sensor.isActive());
    EXPECT_FALSE(sensor.isDustDetected());
}

TEST(ObstacleSensorDriverTest, ActivationFollowsPower) {
    ObstacleSensorDriver sensor;
    EXPECT_FALSE(sensor.isActive());
    sensor.initialize();
    EXPECT_TRUE(sensor.isActive());
    sensor.deactivateObstacleSensor();
    EXPECT_FALSE(sensor.isActive());
}

}  // namespace

// Reads the motor's forward flag, which checkIsForward shows only while the motor runs.
class MotorDriverTest : public ::testing::Test {
public:
    static bool forwardFlag(const MotorDriver& motor) { return motor.forward; }
};

namespace {

TEST_F(MotorDriverTest, HeadingRotationTable) {
    struct Case {
        Direction before;
        Direction afterLeft;
        Direction afterRight;
    };
    const Case cases[] = {
        {Direction::FRONT, Direction::LEFT, Direction::RIGHT},
        {Direction::LEFT, Direction::BACK, Direction::FRONT},
        {Direction::RIGHT, Direction::FRONT, Direction::BACK},
        {Direction::BACK, Direction::RIGHT, Direction::LEFT},
    };
    // Reach each heading from FRONT with left turns: FRONT, LEFT, BACK, RIGHT.
    auto headTo = [](MotorDriver& motor, Direction target) {
        for (int i = 0; i < 4 && motor.currentDirection() != target; ++i) {
            motor.turnLeft();
        }
        ASSERT_EQ(motor.currentDirection(), target);
    };
    for (const Case& c : cases) {
        MotorDriver left;
        headTo(left, c.before);
        left.turnLeft();
        EXPECT_EQ(left.currentDirection(), c.afterLeft) << static_cast<int>(c.before);

        MotorDriver right;
        headTo(right, c.before);
        right.turnRight();
        EXPECT_EQ(right.currentDirection(), c.afterRight) << static_cast<int>(c.before);
        // Turning changes the heading only.
        EXPECT_FALSE(right.isMoving());
        EXPECT_FALSE(right.checkIsForward());
    }
}

TEST_F(MotorDriverTest, FourTurnsRestoreHeadingAndTwoRightsFaceBack) {
    MotorDriver motor;
    for (int i = 0; i < 4; ++i) {
        motor.turnLeft();
    }
    EXPECT_EQ(motor.currentDirection(), Direction::FRONT);
    motor.turnRight();
    motor.turnRight();
    EXPECT_EQ(motor.currentDirection(), Direction::BACK);
}

TEST_F(MotorDriverTest, RunningForwardAndBackwardFlagsAreIndependent) {
    MotorDriver motor;
    EXPECT_FALSE(motor.checkIsForward());

    motor.moveForward();
    EXPECT_TRUE(motor.isMoving());
    EXPECT_TRUE(motor.checkIsForward());

    // Backward keeps the motor running and the heading.
    motor.turnLeft();
    motor.moveBackward();
    EXPECT_TRUE(motor.isMoving());
    EXPECT_FALSE(motor.checkIsForward());
    EXPECT_EQ(motor.currentDirection(), Direction::LEFT);

    // Stopping keeps the forward flag, though checkIsForward is false while stopped.
    motor.moveForward();
    motor.stopMoving();
    EXPECT_FALSE(motor.isMoving());
    EXPECT_FALSE(motor.checkIsForward());
    EXPECT_TRUE(forwardFlag(motor));
    EXPECT_EQ(motor.currentDirection(), Direction::LEFT) << "stopping keeps the heading";
    motor.moveForward();
    EXPECT_TRUE(motor.checkIsForward());

    motor.initialize();
    EXPECT_FALSE(motor.isMoving());
    EXPECT_FALSE(motor.checkIsForward());
    EXPECT_EQ(motor.currentDirection(), Direction::FRONT);
}

// initialize() is the power-on reset of each driver: whatever earlier commands set, the
// driver reads as after construction (the battery keeps its level). The controller's
// power-off resets much of the same through other calls, so each driver is checked alone.
TEST(DriversTest, InitializeResetsWhatEarlierCommandsSet) {
    {
        CleanerDriver cleaner;
        cleaner.startCleaning();
        cleaner.initialize();
        EXPECT_EQ(cleaner.currentMode(), "off");
        EXPECT_FALSE(cleaner.isCleaning());
        for (bool boost : {false, true}) {
            cleaner.decideSetting(boost);
            cleaner.initialize();
            EXPECT_EQ(cleaner.currentMode(), "off") << "after decideSetting(" << boost << ")";
        }
    }
    {
        struct Case {
            const char* commands;
            void (*run)(MotorDriver&);
        };
        const Case cases[] = {
            {"moveForward", [](MotorDriver& m) { m.moveForward(); }},
            {"moveForward turnLeft",
             [](MotorDriver& m) {
                 m.moveForward();
                 m.turnLeft();
             }},
            {"turnRight turnRight",
             [](MotorDriver& m) {
                 m.turnRight();
                 m.turnRight();
             }},
            {"moveForward moveBackward",
             [](MotorDriver& m) {
                 m.moveForward();
                 m.moveBackward();
             }},
        };
        for (const Case& c : cases) {
            MotorDriver motor;
            c.run(motor);
            motor.initialize();
            EXPECT_FALSE(motor.isMoving()) << c.commands;
            EXPECT_FALSE(motor.checkIsForward()) << c.commands;
            EXPECT_EQ(motor.currentDirection(), Direction::FRONT) << c.commands;
            EXPECT_FALSE(MotorDriverTest::forwardFlag(motor)) << c.commands;
        }
    }
    {
        DustSensorDriver dust;
        dust.initialize();
        dust.deactivateDustSensor();
        dust.initialize();
        EXPECT_TRUE(dust.isActive());
        EXPECT_FALSE(dust.isDustDetected());
        ObstacleSensorDriver obstacle;
        obstacle.deactivateObstacleSensor();
        obstacle.initialize();
        EXPECT_TRUE(obstacle.isActive());
    }
    {
        BatteryDriver battery;
        battery.setLevel(40);
        battery.initialize();
        EXPECT_EQ(battery.level(), 40) << "power-on keeps the level";
        EXPECT_FALSE(battery.isFull());
    }
}

}  // namespace
}  // namespace zelk
