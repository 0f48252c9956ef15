#include "zelk/DustSensorDriver.hpp"

namespace zelk {

DustSensorDriver::DustSensorDriver() = default;

void DustSensorDriver::initialize() {
    active = true;
    dust = false;
}

void DustSensorDriver::deactivateDustSensor() {
    active = false;
    dust = false;
}

bool DustSensorDriver::isActive() const { return active; }

bool DustSensorDriver::isDustDetected() const { return dust; }

bool DustSensorDriver::hasDust() const { return readDustFromSensor(); }

bool DustSensorDriver::readDustFromSensor() const { return dust; }

}  // namespace zelk
