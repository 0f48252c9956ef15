#include "zelk/Controller.hpp"

#include <array>
#include <string>

#include "zelk/Modes.hpp"

namespace zelk {
namespace {

constexpr std::chrono::milliseconds DefaultBoostDuration{5000};
constexpr int LowBatteryClearLevel = 10;

}  // namespace

Controller::Controller() : Controller(false, DefaultBoostDuration) {}

Controller::Controller(std::chrono::milliseconds duration) : Controller(false, duration) {}

Controller::Controller(ManualClockTag, std::chrono::milliseconds duration)
    : Controller(true, duration) {}

Controller::Controller(bool manualTimer, std::chrono::milliseconds duration)
    : batteryDriver(std::make_unique<BatteryDriver>()),
      cleanerDriver(std::make_unique<CleanerDriver>()),
      dustSensorDriver(std::make_unique<DustSensorDriver>()),
      motorDriver(std::make_unique<MotorDriver>()),
      obstacleSensorDriver(std::make_unique<ObstacleSensorDriver>()),
      obstacleProcessor(std::make_unique<ObstacleProcessor>()),
      dustProcessor(std::make_unique<DustProcessor>()),
      boostDuration(duration),
      manual(manualTimer) {
    publishLocked();  // not shared yet: no lock needed
}

Controller::~Controller() {
    {
        std::scoped_lock lock(stateMutex);
        stopping = true;
        dueTimes.clear();
    }
    timerWakeup.notify_all();
    if (timerThread.joinable()) {
        timerThread.join();
    }
    // The owned drivers and processors go in reverse order of declaration:
    // dustProcessor first, batteryDriver last.
}

ControllerState Controller::stateLocked() const {
    return ControllerState{
        .power = power,
        .mode = currentMode != nullptr ? currentMode->kind() : ModeKind::Standby,
        .charging = isNowCharging,
    };
}

template <typename Body>
void Controller::observeLocked(ControllerEvent event, Body&& body,
                               const std::array<bool, 3>& obstacle) {
    // Without an observer an event costs this one test and nothing more.
    if (observer == nullptr) {
        body();
        publishLocked();
        return;
    }
    Transition transition{};
    transition.event = event;
    transition.before = stateLocked();
    transition.motorMoving = motorDriver->isMoving();
    transition.obstacle = obstacle;
    const bool taken = body();
    transition.ignored = !taken;
    transition.after = taken ? stateLocked() : transition.before;
    publishLocked();
    observer->onTransition(transition);
}

void Controller::setObserver(ControllerObserver* newObserver) {
    std::scoped_lock lock(stateMutex);
    observer = newObserver;
}

bool Controller::startTimer() {
    std::scoped_lock lock(stateMutex);
    armExpiryLocked();
    return true;
}

void Controller::armExpiryLocked() {
    if (stopping) {
        return;
    }
    if (manual) {
        try {
            dueTimes.push_back(manualNow + boostDuration);
        } catch (...) {
            // No memory to be had: this expiry is lost.
        }
        return;
    }
    try {
        if (!timerThread.joinable()) {
            timerThread = std::thread(&Controller::runTimer, this);
        }
        dueTimes.push_back(Clock::now() + boostDuration);
    } catch (...) {
        // No thread or memory to be had: this expiry is lost; a later arming tries again.
        return;
    }
    if (dueTimes.size() == 1) {
        // Only a new head changes what the timer thread waits for: an idle thread sleeps
        // until woken, and one waiting for an earlier head needs no wake-up.
        timerWakeup.notify_one();
    }
}

void Controller::runTimer() {
    std::unique_lock lock(stateMutex);
    while (!stopping) {
        if (dueTimes.empty()) {
            timerWakeup.wait(lock);
            continue;
        }
        const Clock::time_point due = dueTimes.front();
        if (Clock::now() < due) {
            timerWakeup.wait_until(lock, due);
            continue;
        }
        // One expiry per pass: expiries due together are applied one after the other.
        dueTimes.pop_front();
        applyExpiryLocked();
    }
}

void Controller::advanceClock(std::chrono::milliseconds elapsed) {
    std::scoped_lock lock(stateMutex);
    if (!manual || elapsed <= std::chrono::milliseconds::zero()) {
        return;
    }
    // The clock stops short of the largest time point, leaving room for one boost
    // duration, so that neither the clock nor a due time can overflow.
    const Clock::time_point latest = Clock::time_point::max() - boostDuration;
    const Clock::duration step = elapsed;
    const Clock::time_point target = step > latest - manualNow ? latest : manualNow + step;
    while (!dueTimes.empty() && dueTimes.front() <= target) {
        // Each expiry sees the clock at its own due time.
        manualNow = dueTimes.front();
        dueTimes.pop_front();
        applyExpiryLocked();
    }
    manualNow = target;
}

std::chrono::milliseconds Controller::clockTime() const {
    std::scoped_lock lock(stateMutex);
    return std::chrono::duration_cast<std::chrono::milliseconds>(manualNow.time_since_epoch());
}

std::size_t Controller::pendingExpiries() const {
    std::scoped_lock lock(stateMutex);
    return dueTimes.size();
}

void Controller::applyExpiryLocked() {
    observeLocked(ControllerEvent::BoostExpiry, [this] {
        if (currentMode == nullptr) {
            return false;
        }
        currentMode = &currentMode->timerExpired(*cleanerDriver);
        return true;
    });
}

void Controller::powerButtonPressed() {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::Power, [this] {
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
        return true;
    });
}

void Controller::startButtonPressed() {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::Start, [this] {
        if (currentMode == nullptr || isNowCharging) {
            return false;
        }
        currentMode = &currentMode->startButtonPressed(*cleanerDriver, *motorDriver);
        return true;
    });
}

bool Controller::canStartCharging() const {
    if (power && currentMode != nullptr) {
        return currentMode->canCharge();
    }
    return true;
}

void Controller::chargeBattery() {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::Charge, [this] {
        if (!canStartCharging()) {
            return false;
        }
        const bool wasCharging = isNowCharging;
        isNowCharging = batteryDriver->startCharging();  // false when the battery is full
        const bool started = isNowCharging;
        if (started) {
            chargingTickLocked();
        }
        // A full battery refuses, which changes nothing unless it ends a charge under way.
        return started || wasCharging;
    });
}

void Controller::chargingTick() {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::ChargingTick, [this] {
        const bool taken = isNowCharging;
        chargingTickLocked();
        return taken;
    });
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
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::StopCharging, [this] {
        batteryDriver->stopCharging();
        isNowCharging = false;
        return true;
    });
}

void Controller::lowBatteryDetected() {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::LowBattery, [this] {
        if (currentMode == nullptr) {
            return false;
        }
        currentMode = &currentMode->lowBatteryDetected(*cleanerDriver, *motorDriver);
        return true;
    });
}

void Controller::lowBatteryCleared() {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::LowBatteryCleared, [this] {
        const bool taken = currentMode != nullptr;
        lowBatteryClearedLocked();
        return taken;
    });
}

void Controller::lowBatteryClearedLocked() {
    if (currentMode == nullptr) {
        return;
    }
    currentMode = &currentMode->lowBatteryCleared();
}

void Controller::dustDetected() {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::Dust, [this] {
        if (currentMode == nullptr || isNowCharging) {
            return false;
        }
        currentMode = &dustProcessor->decideIsDusted(*cleanerDriver, *currentMode);
        // Also while already boosting: each such event arms one more independent expiry.
        if (currentMode->kind() == ModeKind::Boost) {
            armExpiryLocked();
        }
        return true;
    });
}

void Controller::obstacleDetected(const bool* direction) {
    std::scoped_lock lock(stateMutex);
    std::array<bool, 3> dir{};
    if (direction != nullptr) {
        dir = {direction[0], direction[1], direction[2]};
    }
    observeLocked(
        ControllerEvent::Obstacle,
        [this, direction, &dir] {
            if (currentMode == nullptr || direction == nullptr) {
                return false;
            }
            obstacleProcessor->decideDirection(dir, *currentMode, *motorDriver);
            return true;
        },
        dir);
}

bool Controller::isPowerOn() const {
    return readLocked([this] { return power; });
}

bool Controller::isCharging() const {
    return readLocked([this] { return isNowCharging; });
}

int Controller::batteryLevel() const {
    return readLocked([this] { return batteryDriver->level(); });
}

bool Controller::hasCurrentMode() const {
    return readLocked([this] { return currentMode != nullptr; });
}

ModeKind Controller::currentModeKind() const {
    return readLocked(
        [this] { return currentMode != nullptr ? currentMode->kind() : ModeKind::Standby; });
}

std::string Controller::currentModeName() const {
    return readLocked(
        [this] { return std::string(currentMode != nullptr ? currentMode->name() : "Off"); });
}

bool Controller::isDustSensorActive() const {
    return readLocked([this] { return dustSensorDriver->isActive(); });
}

bool Controller::isObstacleSensorActive() const {
    return readLocked([this] { return obstacleSensorDriver->isActive(); });
}

bool Controller::isCleanerCleaning() const {
    return readLocked([this] { return cleanerDriver->isCleaning(); });
}

std::string Controller::cleanerMode() const {
    return readLocked([this] { return cleanerDriver->currentMode(); });
}

bool Controller::isMotorMoving() const {
    return readLocked([this] { return motorDriver->isMoving(); });
}

bool Controller::isMotorForward() const {
    return readLocked([this] { return motorDriver->checkIsForward(); });
}

Direction Controller::motorDirection() const {
    return readLocked([this] { return motorDriver->currentDirection(); });
}

void Controller::publishLocked() {
    const bool present = currentMode != nullptr;
    const Snapshot state{
        .powerOn = power,
        .charging = isNowCharging,
        .batteryLevel = batteryDriver->level(),
        .hasCurrentMode = present,
        .modeKind = present ? currentMode->kind() : ModeKind::Standby,
        .modeName = {},  // follows from the kind
        .dustSensorActive = dustSensorDriver->isActive(),
        .obstacleSensorActive = obstacleSensorDriver->isActive(),
        .cleanerCleaning = cleanerDriver->isCleaning(),
        .cleanerMode = cleanerDriver->currentMode(),
        .motorMoving = motorDriver->isMoving(),
        .motorForward = motorDriver->checkIsForward(),
        .motorDirection = motorDriver->currentDirection(),
    };
    published.store(encodeState(state), std::memory_order_release);
}

Controller::Snapshot Controller::snapshot() const { return snapshotOf(stateCode()); }

std::uint64_t Controller::stateCode() const { return published.load(std::memory_order_acquire); }

void Controller::setBatteryLevel(int level) {
    std::scoped_lock lock(stateMutex);
    observeLocked(ControllerEvent::BatterySetup, [this, level] {
        batteryDriver->setLevel(level);
        return true;
    });
}

void Controller::timerExpiredNow() {
    std::scoped_lock lock(stateMutex);
    if (power && currentMode != nullptr) {
        applyExpiryLocked();
    } else {
        observeLocked(ControllerEvent::BoostExpiry, [] { return false; });
    }
}

}  // namespace zelk
