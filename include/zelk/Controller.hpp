#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "zelk/BatteryDriver.hpp"
#include "zelk/CleanerDriver.hpp"
#include "zelk/Direction.hpp"
#include "zelk/DustProcessor.hpp"
#include "zelk/DustSensorDriver.hpp"
#include "zelk/MotorDriver.hpp"
#include "zelk/ObstacleProcessor.hpp"
#include "zelk/ObstacleSensorDriver.hpp"
#include "zelk/OperatingMode.hpp"

namespace zelk {

// The cleaner's control unit: owns the five drivers and two processors, holds power,
// charging and the current mode, applies the guards that decide whether an event is taken,
// hands accepted events to the current mode and answers every state query.
//
// Events that do not apply in the present state are ignored silently; nothing is printed,
// thrown or reported. Each dust event that leaves the cleaner boosting arms one boost
// expiry, due one boost duration (five seconds by default) later. Expiries are independent:
// never cancelled, restarted or extended. They are served in arming order by one timer
// thread per controller, started on first use.
//
// Thread safety: every public operation, queries included, and every expiry step take
// mutex_, so each sees the controller wholly before or wholly after an expiry. A sequence
// of calls is not protected as a whole. The destructor discards pending expiries and joins
// the timer thread without waiting out any delay.
class Controller {
public:
    // The answers of every query at one moment, read under a single lock: no boost expiry
    // can fall between two of them.
    struct Snapshot {
        bool powerOn;
        bool charging;
        int batteryLevel;
        bool hasCurrentMode;
        ModeKind modeKind;
        std::string_view modeName;  // static text: a mode's name, or "Off"
        bool dustSensorActive;
        bool obstacleSensorActive;
        bool cleanerCleaning;
        std::string cleanerMode;
        bool motorMoving;
        bool motorForward;
        Direction motorDirection;

        bool operator==(const Snapshot&) const = default;
    };

    Controller();
    // For tests: a boost that lasts `boostDuration` instead of five seconds.
    explicit Controller(std::chrono::milliseconds boostDuration);
    ~Controller();

    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Arms one boost expiry. Returns true at once, never blocking; if no timer thread can be
    // started, that expiry is lost.
    bool startTimer();

    void powerButtonPressed();
    void startButtonPressed();
    // Starts charging when the mode allows it (or power is off) and the battery is not
    // full; the first charging step happens inside this call.
    void chargeBattery();
    // One charging step; ends charging once nothing more can be added or the battery fills.
    void chargingTick();
    void stopCharging();
    void lowBatteryDetected();
    void lowBatteryCleared();
    void dustDetected();
    // `direction` points at three flags: front, left, right (true = blocked). May be null.
    void obstacleDetected(const bool* direction);

    bool isPowerOn() const;
    bool isCharging() const;
    int batteryLevel() const;
    bool hasCurrentMode() const;
    // Standby when switched off as well: use hasCurrentMode to tell them apart.
    ModeKind currentModeKind() const;
    // The current mode's name, or "Off" when switched off.
    std::string currentModeName() const;
    bool isDustSensorActive() const;
    bool isObstacleSensorActive() const;
    bool isCleanerCleaning() const;
    std::string cleanerMode() const;
    bool isMotorMoving() const;
    bool isMotorForward() const;
    Direction motorDirection() const;
    Snapshot snapshot() const;

    // Any value; the battery clamps it to 0..100. Changes nothing else.
    void setBatteryLevel(int level);
    // Applies one boost expiry at once; pending expiries still fall due later.
    void timerExpiredNow();

private:
    using Clock = std::chrono::steady_clock;

    // Helpers below assume mutex_ is held.
    bool canStartCharging() const;
    void chargingTickLocked();
    void lowBatteryClearedLocked();
    void applyExpiryLocked();
    void armExpiryLocked();
    void runTimer();

    // guarded by mutex_
    bool power = false;
    bool isNowCharging = false;
    OperatingMode* currentMode = nullptr;
    std::unique_ptr<BatteryDriver> batteryDriver;
    std::unique_ptr<CleanerDriver> cleanerDriver;
    std::unique_ptr<DustSensorDriver> dustSensorDriver;
    std::unique_ptr<MotorDriver> motorDriver;
    std::unique_ptr<ObstacleSensorDriver> obstacleSensorDriver;
    std::unique_ptr<ObstacleProcessor> obstacleProcessor;
    std::unique_ptr<DustProcessor> dustProcessor;

    // The boost timer. Every delay is the same, so due order is arming order.
    const Clock::duration boostDuration_;
    mutable std::mutex mutex_;
    std::condition_variable timerWakeup_;
    std::deque<Clock::time_point> dueTimes_;  // guarded by mutex_
    bool stopping_ = false;                   // guarded by mutex_
    std::thread timerThread_;                 // started and joined under the rules above
};

}  // namespace zelk
