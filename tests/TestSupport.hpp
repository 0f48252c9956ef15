#pragma once

// What several test files share: the one way to bring a controller into a mode, how
// GoogleTest prints a controller snapshot when an assertion on one fails, and a small
// pseudo-random source for generated inputs.

#include <cstdint>
#include <ostream>

#include <zelk/Controller.hpp>

namespace zelk {

// Switches `controller` on and brings it into `kind` through public events only.
inline void enterMode(Controller& controller, ModeKind kind) {
    controller.powerButtonPressed();
    switch (kind) {
        case ModeKind::Standby:
            break;
        case ModeKind::Normal:
            controller.startButtonPressed();
            break;
        case ModeKind::Boost:
            controller.startButtonPressed();
            controller.dustDetected();
            break;
        case ModeKind::LowBattery:
            controller.lowBatteryDetected();
            break;
    }
}

// Found by GoogleTest through argument-dependent lookup.
inline void PrintTo(const Controller::Snapshot& s, std::ostream* out) {
    *out << "{power=" << s.powerOn << " charging=" << s.charging << " battery=" << s.batteryLevel
         << " hasMode=" << s.hasCurrentMode << " mode=" << s.modeName
         << " dustSensor=" << s.dustSensorActive << " obstacleSensor=" << s.obstacleSensorActive
         << " cleaning=" << s.cleanerCleaning << " cleanerMode=" << s.cleanerMode
         << " moving=" << s.motorMoving << " forward=" << s.motorForward
         << " direction=" << static_cast<int>(s.motorDirection) << "}";
}

// Numbers for generated test inputs (a linear congruential generator): the same seed gives
// the same numbers on every machine.
class PseudoRandom {
public:
    explicit PseudoRandom(std::uint32_t seed) : state_(seed) {}
    // A number below `bound`.
    std::uint32_t operator()(std::uint32_t bound) {
        state_ = state_ * 1664525U + 1013904223U;
        return (state_ >> 8) % bound;
    }

private:
    std::uint32_t state_;
};

}  // namespace zelk
