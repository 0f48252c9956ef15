#include "zelk/ObstacleProcessor.hpp"

namespace zelk {

void ObstacleProcessor::decideDirection(const std::array<bool, 3>& dir,
                                        const OperatingMode& currentMode, MotorDriver& motor) {
    const bool frontBlocked = dir[0];
    const bool leftBlocked = dir[1];
    const bool rightBlocked = dir[2];
    const bool fw = motor.checkIsForward();

    Direction direction = Direction::BACK;
    if (fw && !frontBlocked) {
        direction = Direction::FRONT;
    } else if (!leftBlocked) {
        direction = Direction::LEFT;
    } else if (!rightBlocked) {
        direction = Direction::RIGHT;
    }
    currentMode.checkIsMoving(direction, motor);
}

}  // namespace zelk
