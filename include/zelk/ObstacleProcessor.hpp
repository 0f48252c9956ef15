#pragma once

#include <array>

#include "zelk/MotorDriver.hpp"
#include "zelk/OperatingMode.hpp"

namespace zelk {

// Turns three obstacle flags (front, left, right; true = blocked) into a steering
// Direction and lets the current mode carry it out. Never changes the mode.
// Owned by the Controller, which serialises its calls.
class ObstacleProcessor {
public:
    // The front flag counts only while the motor runs forward; left wins over right.
    void decideDirection(const std::array<bool, 3>& dir, const OperatingMode& currentMode,
                         MotorDriver& motor);

private:
    // Neither read nor written by decideDirection: the flags arrive as an argument.
    [[maybe_unused]] std::array<bool, 3> direction_{};
};

}  // namespace zelk
