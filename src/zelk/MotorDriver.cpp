#include "zelk/MotorDriver.hpp"

namespace zelk {

MotorDriver::MotorDriver() = default;

void MotorDriver::initialize() {
    status = false;
    moveDirection = Direction::FRONT;
    forward = false;
}

void MotorDriver::moveForward() {
    forward = true;
    status = true;
}

void MotorDriver::stopMoving() { status = false; }

void MotorDriver::turnLeft() {
    switch (moveDirection) {
        case Direction::FRONT:
            moveDirection = Direction::LEFT;
            break;
        case Direction::LEFT:
            moveDirection = Direction::BACK;
            break;
        case Direction::BACK:
            moveDirection = Direction::RIGHT;
            break;
        case Direction::RIGHT:
            moveDirection = Direction::FRONT;
            break;
    }
}

void MotorDriver::turnRight() {
    switch (moveDirection) {
        case Direction::FRONT:
            moveDirection = Direction::RIGHT;
            break;
        case Direction::RIGHT:
            moveDirection = Direction::BACK;
            break;
        case Direction::BACK:
            moveDirection = Direction::LEFT;
            break;
        case Direction::LEFT:
            moveDirection = Direction::FRONT;
            break;
    }
}

void MotorDriver::moveBackward() { forward = false; }

bool MotorDriver::checkIsForward() const { return status && forward; }

bool MotorDriver::isMoving() const { return status; }

Direction MotorDriver::currentDirection() const { return moveDirection; }

}  // namespace zelk
