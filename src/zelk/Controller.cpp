#include "zelk/Controller.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "zelk/Modes.hpp"

namespace zelk {
namespace {

constexpr std::chrono::milliseconds DefaultBoostDuration{5000};
constexpr int LowBatteryClearLevel = 10;

// The published state's layout: the battery level in the low 32 bits, a bit per flag, and
// small numbers for the mode (0 when switched off, else its kind plus one), the cleaner's
// setting and the motor's heading.
enum PublishedBit : unsigned {
    PowerBit = 32,
    ChargingBit,
    DustSensorBit,
    ObstacleSensorBit,
    CleaningBit,
    MotorMovingBit,
    MotorForwardBit,
    ModeShift = 40,
    SettingShift = 44,
    DirectionShift = 48,
};
constexpr std::uint64_t FieldMask = 0xf;

// The cleaner's settings, by their number in the published state; the driver holds one of
// the first three texts and nothing else.
constexpr std::array<std::string_view, 4> SettingTexts{"off", "normal", "boost", "unknown"};

std::uint64_t settingNumber(const std::string& setting) {
    std::uint64_t number = 0;
    while (number + 1 < SettingTexts.size() && setting != SettingTexts[number]) {
        ++number;
    }
    return number;
}

// What a snapshot reports of the mode, by its number in the published state. Each mode is
// one object with a fixed kind and name, so these are read once.
struct ModeFacts {
    bool present;
    ModeKind kind;
    std::string_view name;
};

const std::array<ModeFacts, 5>& modeFacts() {
    static const std::array<ModeFacts, 5> facts = [] {
        std::array<ModeFacts, 5> byNumber{};
        byNumber[0] = {false, ModeKind::Standby, "Off"};
        for (const OperatingMode* mode :
             {&standbyMode(), &normalMode(), &boostMode(), &lowBatteryMode()}) {
            byNumber.at(static_cast<std::size_t>(mode->kind()) + 1) = {true, mode->kind(),
                                                                       mode->name()};
        }
        return byNumber;
    }();
    return facts;
}

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
    std::scoped_lock lock(stateMutex);
    return power;
}

bool Controller::isCharging() const {
    std::scoped_lock lock(stateMutex);
    return isNowCharging;
}

int Controller::batteryLevel() const {
    std::scoped_lock lock(stateMutex);
    return batteryDriver->level();
}

bool Controller::hasCurrentMode() const {
    std::scoped_lock lock(stateMutex);
    return currentMode != nullptr;
}

ModeKind Controller::currentModeKind() const {
    std::scoped_lock lock(stateMutex);
    return currentMode != nullptr ? currentMode->kind() : ModeKind::Standby;
}

std::string Controller::currentModeName() const {
    std::scoped_lock lock(stateMutex);
    return currentMode != nullptr ? currentMode->name() : "Off";
}

bool Controller::isDustSensorActive() const {
    std::scoped_lock lock(stateMutex);
    return dustSensorDriver->isActive();
}

bool Controller::isObstacleSensorActive() const {
    std::scoped_lock lock(stateMutex);
    return obstacleSensorDriver->isActive();
}

bool Controller::isCleanerCleaning() const {
    std::scoped_lock lock(stateMutex);
    return cleanerDriver->isCleaning();
}

std::string Controller::cleanerMode() const {
    std::scoped_lock lock(stateMutex);
    return cleanerDriver->currentMode();
}

bool Controller::isMotorMoving() const {
    std::scoped_lock lock(stateMutex);
    return motorDriver->isMoving();
}

bool Controller::isMotorForward() const {
    std::scoped_lock lock(stateMutex);
    return motorDriver->checkIsForward();
}

Direction Controller::motorDirection() const {
    std::scoped_lock lock(stateMutex);
    return motorDriver->currentDirection();
}

void Controller::publishLocked() {
    std::uint64_t word = static_cast<std::uint32_t>(batteryDriver->level());
    const auto setBit = [&word](bool value, PublishedBit bit) {
        word |= static_cast<std::uint64_t>(value) << bit;
    };
    setBit(power, PowerBit);
    setBit(isNowCharging, ChargingBit);
    setBit(dustSensorDriver->isActive(), DustSensorBit);
    setBit(obstacleSensorDriver->isActive(), ObstacleSensorBit);
    setBit(cleanerDriver->isCleaning(), CleaningBit);
    setBit(motorDriver->isMoving(), MotorMovingBit);
    setBit(motorDriver->checkIsForward(), MotorForwardBit);
    const std::uint64_t mode =
        currentMode != nullptr ? static_cast<std::uint64_t>(currentMode->kind()) + 1 : 0;
    word |= mode << ModeShift;
    word |= settingNumber(cleanerDriver->currentMode()) << SettingShift;
    word |= static_cast<std::uint64_t>(motorDriver->currentDirection()) << DirectionShift;
    published.store(word, std::memory_order_release);
}

Controller::Snapshot Controller::snapshot() const { return snapshotOf(stateCode()); }

std::uint64_t Controller::stateCode() const { return published.load(std::memory_order_acquire); }

Controller::Snapshot Controller::snapshotOf(std::uint64_t code) {
    const auto bit = [code](PublishedBit at) { return ((code >> at) & 1U) != 0; };
    // A code stateCode never gave may hold any number in these fields: out of range reads
    // as switched off and as the "unknown" setting, never past a table.
    const std::size_t modeNumber = (code >> ModeShift) & FieldMask;
    const std::array<ModeFacts, 5>& facts = modeFacts();
    const ModeFacts& mode = facts[modeNumber < facts.size() ? modeNumber : 0];
    const std::size_t setting = (code >> SettingShift) & FieldMask;
    return Snapshot{
        .powerOn = bit(PowerBit),
        .charging = bit(ChargingBit),
        .batteryLevel = static_cast<int>(static_cast<std::uint32_t>(code)),
        .hasCurrentMode = mode.present,
        .modeKind = mode.kind,
        .modeName = mode.name,
        .dustSensorActive = bit(DustSensorBit),
        .obstacleSensorActive = bit(ObstacleSensorBit),
        .cleanerCleaning = bit(CleaningBit),
        .cleanerMode = SettingTexts[std::min(setting, SettingTexts.size() - 1)],
        .motorMoving = bit(MotorMovingBit),
        .motorForward = bit(MotorForwardBit),
        .motorDirection = static_cast<Direction>((code >> DirectionShift) & FieldMask),
    };
}

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
