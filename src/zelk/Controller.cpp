#include "zelk/Controller.hpp"

#include <array>

#include "zelk/Modes.hpp"

namespace zelk {
namespace {

constexpr std::chrono::milliseconds DefaultBoostDuration{5000};
constexpr int LowBatteryClearLevel = 10;

}  // namespace

Controller::Controller() : Controller(DefaultBoostDuration) {}

Controller::Controller(std::chrono::milliseconds boostDuration)
    : batteryDriver(std::make_unique<BatteryDriver>()),
      cleanerDriver(std::make_unique<CleanerDriver>()),
      dustSensorDriver(std::make_unique<DustSensorDriver>()),
      motorDriver(std::make_unique<MotorDriver>()),
      obstacleSensorDriver(std::make_unique<ObstacleSensorDriver>()),
      obstacleProcessor(std::make_unique<ObstacleProcessor>()),
      dustProcessor(std::make_unique<DustProcessor>()),
      boostDuration_(boostDuration) {}

Controller::~Controller() {
    {
        std::scoped_lock lock(mutex_);
        stopping_ = true;
        dueTimes_.clear();
    }
    timerWakeup_.notify_all();
    if (timerThread_.joinable()) {
        timerThread_.join();
    }
    // The owned drivers and processors go in reverse order of declaration:
    // dustProcessor first, batteryDriver last.
}

bool Controller::startTimer() {
    std::scoped_lock lock(mutex_);
    armExpiryLocked();
    return true;
}

void Controller::armExpiryLocked() {
    if (stopping_) {
        return;
    }
    try {
        if (!timerThread_.joinable()) {
            timerThread_ = std::thread(&Controller::runTimer, this);
        }
        dueTimes_.push_back(Clock::now() + boostDuration_);
    } catch (...) {
        // No thread or memory to be had: this expiry is lost; a later arming tries again.
        return;
    }
    if (dueTimes_.size() == 1) {
        // Only a new head changes what the timer thread waits for.
        timerWakeup_.notify_one();
    }
}

void Controller::runTimer() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (dueTimes_.empty()) {
            timerWakeup_.wait(lock);
            continue;
        }
        const Clock::time_point due = dueTimes_.front();
        if (Clock::now() < due) {
            timerWakeup_.wait_until(lock, due);
            continue;
        }
        // One expiry per pass: expiries due together are applied one after the other.
        dueTimes_.pop_front();
        applyExpiryLocked();
    }
}

void Controller::applyExpiryLocked() {
    if (currentMode != nullptr) {
        currentMode = &currentMode->timerExpired(*cleanerDriver);
    }
}

void Controller::powerButtonPressed() {
    std::scoped_lock lock(mutex_);
    if (!power) {
        power = true;
        batteryDriver->initialize();
        currentMode = &standbyMode();
        dustSensorDriver->initialize();
        cleanerDriver->initialize();
        motorDriver->initialize();
        obstacleSensorDriver->initialize();
    } else {
        power = false;
        isNowCharging = false;
        batteryDriver->turnOffBattery();
        obstacleSensorDriver->deactivateObstacleSensor();
        dustSensorDriver->deactivateDustSensor();
        motorDriver->stopMoving();
        cleanerDriver->stopCleaning();
        currentMode = nullptr;
    }
}

void Controller::startButtonPressed() {
    std::scoped_lock lock(mutex_);
    if (currentMode == nullptr || isNowCharging) {
        return;
    }
    currentMode = &currentMode->startButtonPressed(*cleanerDriver, *motorDriver);
}

bool Controller::canStartCharging() const {
    if (power && currentMode != nullptr) {
        return currentMode->canCharge();
    }
    return true;
}

void Controller::chargeBattery() {
    std::scoped_lock lock(mutex_);
    if (!canStartCharging()) {
        return;
    }
    isNowCharging = batteryDriver->startCharging();
    if (!isNowCharging) {
        return;
    }
    chargingTickLocked();
}

void Controller::chargingTick() {
    std::scoped_lock lock(mutex_);
    chargingTickLocked();
}

void Controller::chargingTickLocked() {
    if (!isNowCharging) {
        return;
    }
    if (!batteryDriver->inclineLV()) {
        isNowCharging = false;
        return;
    }
    if (batteryDriver->isFull()) {
        isNowCharging = false;
    }
    if (power && currentMode != nullptr && currentMode->kind() == ModeKind::LowBattery &&
        batteryDriver->level() > LowBatteryClearLevel) {
        lowBatteryClearedLocked();
    }
}

void Controller::stopCharging() {
    std::scoped_lock lock(mutex_);
    batteryDriver->stopCharging();
    isNowCharging = false;
}

void Controller::lowBatteryDetected() {
    std::scoped_lock lock(mutex_);
    if (currentMode == nullptr) {
        return;
    }
    currentMode = &currentMode->lowBatteryDetected(*cleanerDriver, *motorDriver);
}

void Controller::lowBatteryCleared() {
    std::scoped_lock lock(mutex_);
    lowBatteryClearedLocked();
}

void Controller::lowBatteryClearedLocked() {
    if (currentMode == nullptr) {
        return;
    }
    currentMode = &currentMode->lowBatteryCleared();
}

void Controller::dustDetected() {
    std::scoped_lock lock(mutex_);
    if (currentMode == nullptr || isNowCharging) {
        return;
    }
    currentMode = &dustProcessor->decideIsDusted(*cleanerDriver, *currentMode);
    // Also while already boosting: each such event arms one more independent expiry.
    if (currentMode->kind() == ModeKind::Boost) {
        armExpiryLocked();
    }
}

void Controller::obstacleDetected(const bool* direction) {
    std::scoped_lock lock(mutex_);
    if (currentMode == nullptr || direction == nullptr) {
        return;
    }
    const std::array<bool, 3> dir{direction[0], direction[1], direction[2]};
    obstacleProcessor->decideDirection(dir, *currentMode, *motorDriver);
}

bool Controller::isPowerOn() const {
    std::scoped_lock lock(mutex_);
    return power;
}

bool Controller::isCharging() const {
    std::scoped_lock lock(mutex_);
    return isNowCharging;
}

int Controller::batteryLevel() const {
    std::scoped_lock lock(mutex_);
    return batteryDriver->level();
}

bool Controller::hasCurrentMode() const {
    std::scoped_lock lock(mutex_);
    return currentMode != nullptr;
}

ModeKind Controller::currentModeKind() const {
    std::scoped_lock lock(mutex_);
    return currentMode != nullptr ? currentMode->kind() : ModeKind::Standby;
}

std::string Controller::currentModeName() const {
    std::scoped_lock lock(mutex_);
    return currentMode != nullptr ? currentMode->name() : "Off";
}

bool Controller::isDustSensorActive() const {
    std::scoped_lock lock(mutex_);
    return dustSensorDriver->isActive();
}

bool Controller::isObstacleSensorActive() const {
    std::scoped_lock lock(mutex_);
    return obstacleSensorDriver->isActive();
}

bool Controller::isCleanerCleaning() const {
    std::scoped_lock lock(mutex_);
    return cleanerDriver->isCleaning();
}

std::string Controller::cleanerMode() const {
    std::scoped_lock lock(mutex_);
    return cleanerDriver->currentMode();
}

bool Controller::isMotorMoving() const {
    std::scoped_lock lock(mutex_);
    return motorDriver->isMoving();
}

bool Controller::isMotorForward() const {
    std::scoped_lock lock(mutex_);
    return motorDriver->checkIsForward();
}

Direction Controller::motorDirection() const {
    std::scoped_lock lock(mutex_);
    return motorDriver->currentDirection();
}

Controller::Snapshot Controller::snapshot() const {
    std::scoped_lock lock(mutex_);
    return Snapshot{
        .powerOn = power,
        .charging = isNowCharging,
        .batteryLevel = batteryDriver->level(),
        .hasCurrentMode = currentMode != nullptr,
        .modeKind = currentMode != nullptr ? currentMode->kind() : ModeKind::Standby,
        .modeName = currentMode != nullptr ? std::string_view(currentMode->name()) : "Off",
        .dustSensorActive = dustSensorDriver->isActive(),
        .obstacleSensorActive = obstacleSensorDriver->isActive(),
        .cleanerCleaning = cleanerDriver->isCleaning(),
        .cleanerMode = cleanerDriver->currentMode(),
        .motorMoving = motorDriver->isMoving(),
        .motorForward = motorDriver->checkIsForward(),
        .motorDirection = motorDriver->currentDirection(),
    };
}

void Controller::setBatteryLevel(int level) {
    std::scoped_lock lock(mutex_);
    batteryDriver->setLevel(level);
}

void Controller::timerExpiredNow() {
    std::scoped_lock lock(mutex_);
    if (power && currentMode != nullptr) {
        applyExpiryLocked();
    }
}

}  // namespace zelk
