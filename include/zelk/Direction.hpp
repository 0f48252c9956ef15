#pragma once

namespace zelk {

// The motor's heading, and the obstacle processor's steering decision.
// As a heading: FRONT is straight ahead (the heading at power-on), LEFT and RIGHT are a
// quarter turn either way, BACK is the opposite way. As a decision: keep going, turn left
// or right and drive forward, or back away.
enum class Direction : int {
    FRONT = 0,
    LEFT = 1,
    RIGHT = 2,
    BACK = 3,
};

}  // namespace zelk
