#include "zelk/BatteryDriver.hpp"

#include <algorithm>

namespace zelk {

BatteryDriver::BatteryDriver() : LV(MaxLevel) {}

void BatteryDriver::updateStatus() { status = LV >= MaxLevel; }

void BatteryDriver::initialize() { updateStatus(); }

void BatteryDriver::turnOffBattery() { updateStatus(); }

bool BatteryDriver::startCharging() {
    updateStatus();
    return !status;
}

void BatteryDriver::stopCharging() { updateStatus(); }

bool BatteryDriver::inclineLV() {
    if (status) {
        return false;
    }
    const int previousLevel = LV;
    LV = std::min(LV + ChargeStep, MaxLevel);
    updateStatus();
    return previousLevel < LV;
}

void BatteryDriver::declineLV() {
    LV = std::max(LV - DischargeStep, MinLevel);
    updateStatus();
}

bool BatteryDriver::isLow() const { return LV <= LowBatteryThreshold; }

bool BatteryDriver::isFull() const { return status; }

int BatteryDriver::level() const { return LV; }

void BatteryDriver::setLevel(int level) {
    LV = std::clamp(level, MinLevel, MaxLevel);
    updateStatus();
}

}  // namespace zelk
