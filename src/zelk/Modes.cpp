#include "zelk/Modes.hpp"

namespace zelk {
namespace {

// The steering step of the cleaning modes.
void moveByDirection(Direction direction, MotorDriver& motorDriver) {
    switch (direction) {
        case Direction::FRONT:
            motorDriver.moveForward();
            break;
        case Direction::LEFT:
            motorDriver.turnLeft();
            motorDriver.moveForward();
            break;
        case Direction::RIGHT:
            motorDriver.turnRight();
            motorDriver.moveForward();
            break;
        case Direction::BACK:
            // Keeps running and keeps the heading; only stops driving forward.
            motorDriver.moveBackward();
            break;
    }
}

// Stop the motor, then the suction, and go to `nextMode`: the start button while cleaning
// or in low battery, and low battery from any mode.
OperatingMode& stopMotorAndSuction(CleanerDriver& cleanerDriver, MotorDriver& motorDriver,
                                   OperatingMode& nextMode) {
    motorDriver.stopMoving();
    cleanerDriver.stopCleaning();
    return nextMode;
}

// Low battery from any mode: stop the motor, then the suction.
OperatingMode& enterLowBatteryMode(CleanerDriver& cleanerDriver, MotorDriver& motorDriver) {
    return stopMotorAndSuction(cleanerDriver, motorDriver, lowBatteryMode());
}

}  // namespace

OperatingMode& standbyMode() {
    static StandbyMode mode;
    return mode;
}

OperatingMode& normalMode() {
    static NormalMode mode;
    return mode;
}

OperatingMode& boostMode() {
    static BoostMode mode;
    return mode;
}

OperatingMode& lowBatteryMode() {
    static LowBatteryMode mode;
    return mode;
}

// ---- StandbyMode: idle; the start button begins cleaning.

void StandbyMode::checkIsMoving(Direction /*direction*/, MotorDriver& /*motorDriver*/) const {}

OperatingMode& StandbyMode::startButtonPressed(CleanerDriver& cleanerDriver,
                                               MotorDriver& motorDriver) {
    motorDriver.moveForward();
    cleanerDriver.startCleaning();
    return normalMode();
}

OperatingMode& StandbyMode::lowBatteryDetected(CleanerDriver& cleanerDriver,
                                               MotorDriver& motorDriver) {
    return enterLowBatteryMode(cleanerDriver, motorDriver);
}

OperatingMode& StandbyMode::lowBatteryCleared() { return standbyMode(); }

OperatingMode& StandbyMode::dustDetected(CleanerDriver& /*cleanerDriver*/) { return standbyMode(); }

bool StandbyMode::canCharge() const { return true; }

OperatingMode& StandbyMode::timerExpired(CleanerDriver& /*cleanerDriver*/) { return standbyMode(); }

ModeKind StandbyMode::kind() const { return ModeKind::Standby; }

const char* StandbyMode::name() const { return "StandbyMode"; }

// ---- NormalMode: cleaning; dust switches the suction to boost.

void NormalMode::checkIsMoving(Direction direction, MotorDriver& motorDriver) const {
    moveByDirection(direction, motorDriver);
}

OperatingMode& NormalMode::startButtonPressed(CleanerDriver& cleanerDriver,
                                              MotorDriver& motorDriver) {
    return stopMotorAndSuction(cleanerDriver, motorDriver, standbyMode());
}

OperatingMode& NormalMode::lowBatteryDetected(CleanerDriver& cleanerDriver,
                                              MotorDriver& motorDriver) {
    return enterLowBatteryMode(cleanerDriver, motorDriver);
}

OperatingMode& NormalMode::lowBatteryCleared() { return normalMode(); }

OperatingMode& NormalMode::dustDetected(CleanerDriver& cleanerDriver) {
    cleanerDriver.decideSetting(true);
    return boostMode();
}

bool NormalMode::canCharge() const { return false; }

OperatingMode& NormalMode::timerExpired(CleanerDriver& /*cleanerDriver*/) { return normalMode(); }

ModeKind NormalMode::kind() const { return ModeKind::Normal; }

const char* NormalMode::name() const { return "NormalMode"; }

// ---- BoostMode: cleaning at full suction until the boost timer expires.

void BoostMode::checkIsMoving(Direction direction, MotorDriver& motorDriver) const {
    moveByDirection(direction, motorDriver);
}

OperatingMode& BoostMode::startButtonPressed(CleanerDriver& cleanerDriver,
                                             MotorDriver& motorDriver) {
    return stopMotorAndSuction(cleanerDriver, motorDriver, standbyMode());
}

OperatingMode& BoostMode::lowBatteryDetected(CleanerDriver& cleanerDriver,
                                             MotorDriver& motorDriver) {
    return enterLowBatteryMode(cleanerDriver, motorDriver);
}

OperatingMode& BoostMode::lowBatteryCleared() { return boostMode(); }

OperatingMode& BoostMode::dustDetected(CleanerDriver& /*cleanerDriver*/) { return boostMode(); }

bool BoostMode::canCharge() const { return false; }

OperatingMode& BoostMode::timerExpired(CleanerDriver& cleanerDriver) {
    cleanerDriver.decideSetting(false);
    return normalMode();
}

ModeKind BoostMode::kind() const { return ModeKind::Boost; }

const char* BoostMode::name() const { return "BoostMode"; }

// ---- LowBatteryMode: stopped until charging (or a clearance) lifts it.

void LowBatteryMode::checkIsMoving(Direction /*direction*/, MotorDriver& /*motorDriver*/) const {}

OperatingMode& LowBatteryMode::startButtonPressed(CleanerDriver& cleanerDriver,
                                                  MotorDriver& motorDriver) {
    return stopMotorAndSuction(cleanerDriver, motorDriver, lowBatteryMode());
}

OperatingMode& LowBatteryMode::lowBatteryDetected(CleanerDriver& cleanerDriver,
                                                  MotorDriver& motorDriver) {
    return enterLowBatteryMode(cleanerDriver, motorDriver);
}

OperatingMode& LowBatteryMode::lowBatteryCleared() { return standbyMode(); }

OperatingMode& LowBatteryMode::dustDetected(CleanerDriver& /*cleanerDriver*/) {
    return lowBatteryMode();
}

bool LowBatteryMode::canCharge() const { return true; }

OperatingMode& LowBatteryMode::timerExpired(CleanerDriver& /*cleanerDriver*/) {
    return lowBatteryMode();
}

ModeKind LowBatteryMode::kind() const { return ModeKind::LowBattery; }

const char* LowBatteryMode::name() const { return "LowBatteryMode"; }

}  // namespace zelk
