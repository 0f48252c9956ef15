#include "zelk/ObstacleSensorDriver.hpp"

namespace zelk {

ObstacleSensorDriver::ObstacleSensorDriver() : direction{false, false, false} {}

void ObstacleSensorDriver::clearFlags() {
    for (bool& flag : direction) {
        flag = false;
    }
}

void ObstacleSensorDriver::initialize() {
    active = true;
    clearFlags();
}

void ObstacleSensorDriver::deactivateObstacleSensor() {
    active = false;
    clearFlags();
}

bool ObstacleSensorDriver::isActive() const { return active; }

}  // namespace zelk
