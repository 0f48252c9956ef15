#pragma once

#include <ostream>
#include <string>
#include <tuple>

#include <zelk/Controller.hpp>

namespace zelk::testing {

// Every query of a controller at one moment, comparable and printable, so a test can say
// "this event changed nothing" in one assertion.
struct Snapshot {
    bool power;
    bool charging;
    int battery;
    bool hasMode;
    std::string mode;
    bool dustSensor;
    bool obstacleSensor;
    bool cleaning;
    std::string cleanerMode;
    bool moving;
    bool forward;
    Direction direction;

    static Snapshot of(const Controller& c) {
        return {c.isPowerOn(),
                c.isCharging(),
                c.batteryLevel(),
                c.hasCurrentMode(),
                c.currentModeName(),
                c.isDustSensorActive(),
                c.isObstacleSensorActive(),
                c.isCleanerCleaning(),
                c.cleanerMode(),
                c.isMotorMoving(),
                c.isMotorForward(),
                c.motorDirection()};
    }

    auto tie() const {
        return std::tie(power, charging, battery, hasMode, mode, dustSensor, obstacleSensor,
                        cleaning, cleanerMode, moving, forward, direction);
    }
    bool operator==(const Snapshot& other) const { return tie() == other.tie(); }

    friend std::ostream& operator<<(std::ostream& out, const Snapshot& s) {
        return out << "{power=" << s.power << " charging=" << s.charging << " battery=" << s.battery
                   << " hasMode=" << s.hasMode << " mode=" << s.mode << " dust=" << s.dustSensor
                   << " obstacle=" << s.obstacleSensor << " cleaning=" << s.cleaning
                   << " cleanerMode=" << s.cleanerMode << " moving=" << s.moving
                   << " forward=" << s.forward << " direction=" << static_cast<int>(s.direction)
                   << "}";
    }
};

}  // namespace zelk::testing
