#pragma once

// What several test files share: the one way to bring a controller into a mode, and how
// GoogleTest prints a controller snapshot when an assertion on one fails.

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

}  // namespace zelk
