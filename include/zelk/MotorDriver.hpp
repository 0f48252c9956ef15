#pragma once

#include "zelk/Direction.hpp"

namespace zelk {

// The drive motor: a running flag, a heading and a forward flag, all independent.
//
// stopMoving keeps the heading and the forward flag; moveBackward keeps the running flag
// and the heading. Only initialize (and construction) resets the heading to FRONT.
// Owned by the Controller; plain data with no synchronisation.
class MotorDriver {
public:
    MotorDriver();

    void initialize();
    void moveForward();
    void stopMoving();
    // Quarter turns of the heading; running and forward flags unchanged.
    void turnLeft();
    void turnRight();
    // Clears the forward flag only: a running motor keeps running.
    void moveBackward();
    // True only while running forward.
    bool checkIsForward() const;
    bool isMoving() const;
    Direction currentDirection() const;

private:
    // Its tests read the forward flag, which no query shows while the motor is stopped.
    friend class MotorDriverTest;

    bool status{false};
    Direction moveDirection{Direction::FRONT};
    bool forward{false};
};

}  // namespace zelk
