#include <string>

#include <zelk/Modes.hpp>
#include <zelk/MotorDriver.hpp>
#include <zelk/ObstacleProcessor.hpp>

#include <gtest/gtest.h>

namespace zelk {
namespace {

// The sixteen obstacle decisions: the front flag counts only while the motor runs forward,
// and left wins over right.
struct ObstacleCase {
    bool front, left, right;
    bool forward;
    Direction decision;
};
const ObstacleCase ObstacleCases[] = {
    {false, false, false, true, Direction::FRONT}, {false, false, false, false, Direction::LEFT},
    {false, false, true, true, Direction::FRONT},  {false, false, true, false, Direction::LEFT},
    {false, true, false, true, Direction::FRONT},  {false, true, false, false, Direction::RIGHT},
    {false, true, true, true, Direction::FRONT},   {false, true, true, false, Direction::BACK},
    {true, false, false, true, Direction::LEFT},   {true, false, false, false, Direction::LEFT},
    {true, false, true, true, Direction::LEFT},    {true, false, true, false, Direction::LEFT},
    {true, true, false, true, Direction::RIGHT},   {true, true, false, false, Direction::RIGHT},
    {true, true, true, true, Direction::BACK},     {true, true, true, false, Direction::BACK},
};

std::string describe(const ObstacleCase& c, const OperatingMode& mode) {
    return std::string(mode.name()) + " front=" + std::to_string(static_cast<int>(c.front)) +
           " left=" + std::to_string(static_cast<int>(c.left)) +
           " right=" + std::to_string(static_cast<int>(c.right)) +
           " forward=" + std::to_string(static_cast<int>(c.forward));
}

// A motor facing FRONT, running forward or never started as the row says, after the
// processor has decided on the row's flags in `mode`.
MotorDriver steered(const ObstacleCase& c, const OperatingMode& mode) {
    MotorDriver motor;
    if (c.forward) {
        motor.moveForward();
    }
    ObstacleProcessor processor;
    processor.decideDirection({c.front, c.left, c.right}, mode, motor);
    return motor;
}

TEST(ObstacleProcessorTest, CleaningModesSteerByTheDecision) {
    for (OperatingMode* mode : {&normalMode(), &boostMode()}) {
        for (const ObstacleCase& c : ObstacleCases) {
            const MotorDriver motor = steered(c, *mode);
            const std::string row = describe(c, *mode);
            if (c.decision == Direction::BACK) {
                // Backing away keeps the running flag and the heading.
                EXPECT_EQ(motor.isMoving(), c.forward) << row;
                EXPECT_FALSE(motor.checkIsForward()) << row;
                EXPECT_EQ(motor.currentDirection(), Direction::FRONT) << row;
            } else {
                // The motor turns from FRONT to the decided heading and drives forward.
                EXPECT_TRUE(motor.checkIsForward()) << row;
                EXPECT_EQ(motor.currentDirection(), c.decision) << row;
            }
        }
    }
}

TEST(ObstacleProcessorTest, IdleModesLeaveTheMotorAlone) {
    for (OperatingMode* mode : {&standbyMode(), &lowBatteryMode()}) {
        for (const ObstacleCase& c : ObstacleCases) {
            const MotorDriver motor = steered(c, *mode);
            const std::string row = describe(c, *mode);
            EXPECT_EQ(motor.isMoving(), c.forward) << row;
            EXPECT_EQ(motor.checkIsForward(), c.forward) << row;
            EXPECT_EQ(motor.currentDirection(), Direction::FRONT) << row;
        }
    }
}

TEST(ObstacleProcessorTest, AfterBackingAwayTheFrontFlagIsIgnored) {
    MotorDriver motor;
    motor.moveForward();
    ObstacleProcessor processor;
    processor.decideDirection({true, true, true}, normalMode(), motor);
    EXPECT_TRUE(motor.isMoving());
    EXPECT_FALSE(motor.checkIsForward());
    // No longer driving forward: all clear now decides LEFT, not FRONT.
    processor.decideDirection({false, false, false}, normalMode(), motor);
    EXPECT_EQ(motor.currentDirection(), Direction::LEFT);
    EXPECT_TRUE(motor.checkIsForward());
}

}  // namespace
}  // namespace zelk
