#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "zelk/BatteryDriver.hpp"
#include "zelk/CleanerDriver.hpp"
#include "zelk/ControllerObserver.hpp"
#include "zelk/Direction.hpp"
#include "zelk/DustProcessor.hpp"
#include "zelk/DustSensorDriver.hpp"
#include "zelk/MotorDriver.hpp"
#include "zelk/ObstacleProcessor.hpp"
#include "zelk/ObstacleSensorDriver.hpp"
#include "zelk/OperatingMode.hpp"
#include "zelk/StateCode.hpp"

namespace zelk {

// Selects the constructor whose boost timer runs on a clock that only advanceClock moves.
struct ManualClockTag {
    explicit ManualClockTag() = default;
};
inline constexpr ManualClockTag manualClock{};

// The cleaner's control unit: owns the five drivers and two processors, holds power,
// charging and the current mode, applies the guards that decide whether an event is taken,
// hands accepted events to the current mode and answers every state query.
//
// Events that do not apply in the present state are ignored silently; nothing is printed,
// thrown or reported. Each dust event that leaves the cleaner boosting arms one boost
// expiry, due one boost duration (five seconds by default) later. Expiries are independent:
// never cancelled, restarted or extended.
//
// The boost timer keeps one of two clocks:
// - Real time (the default): one timer thread per controller, started by the first arming,
//   serves a queue of due times. Every delay is the same, so due order is arming order and
//   a first-in first-out queue is the whole schedule. One thread, not one per expiry: a script that
//   sends 100,000 dust events arms 100,000 expiries, and a thread each would exhaust the process;
//   a single thread also lets the destructor discard every pending expiry and join at once.
// - A manual clock (Controller(manualClock)): no thread at all. The clock starts at 0 and
//   only advanceClock moves it; the expiries it passes are applied inside that call, on the
//   caller's thread, each at its own due time. Runs are deterministic and take no real time.
//
// Thread safety: every public operation, queries included, and every expiry step take
// stateMutex, so each sees the controller wholly before or wholly after an expiry. The one
// exception is snapshot(): every operation and expiry step ends by publishing the state in
// one atomic word, under the lock, and snapshot() reads that word without the lock, so it
// too sees one moment between two steps. A sequence of calls is not protected as a whole. The
// destructor discards pending expiries and joins the timer thread without waiting out any delay.
class Controller {
public:
    // The answers of every query at one moment, from the published state: no boost expiry
    // can fall between two of them.
    using Snapshot = StateSnapshot;

    // A real-time boost of five seconds.
    Controller();
    // A real-time boost that lasts `boostDuration` instead.
    explicit Controller(std::chrono::milliseconds duration);
    // A boost timer on a manual clock (see above), no thread.
    explicit Controller(ManualClockTag,
                        std::chrono::milliseconds duration = std::chrono::seconds(5));
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
    // A number that stands for everything snapshot() reports at this moment (StateCode.hpp):
    // equal codes mean equal snapshots, and snapshotOf turns a code back into its snapshot. A
    // front end can key what it derives from a snapshot on it.
    std::uint64_t stateCode() const;
    static Snapshot snapshotOf(std::uint64_t code) { return decodeState(code); }

    // Any value; the battery clamps it to 0..100. Changes nothing else.
    void setBatteryLevel(int level);
    // Applies one boost expiry at once; pending expiries still fall due later.
    void timerExpiredNow();

    // Manual clock only (no effect on a real-time controller): moves the clock forward by
    // `elapsed` and applies, in due order, every pending expiry due at or before the new
    // time, each as one expiry step. The clock saturates instead of overflowing.
    void advanceClock(std::chrono::milliseconds elapsed);
    // The manual clock's time since construction; zero on a real-time controller.
    std::chrono::milliseconds clockTime() const;
    // How many armed expiries have not been applied or discarded yet.
    std::size_t pendingExpiries() const;

    // Reports every handled event to `observer` (null: none), which must outlive its use.
    // Set it before the first event: a real-time expiry may report from the timer thread.
    void setObserver(ControllerObserver* observer);

private:
    using Clock = std::chrono::steady_clock;

    Controller(bool manualTimer, std::chrono::milliseconds duration);

    // The timer thread's body: waits for the head of dueTimes and applies it when due, until
    // stopping is set. It takes stateMutex itself.
    void runTimer();

    // What `read` answers with stateMutex held: the one shape of every query.
    template <typename Read>
    auto readLocked(Read&& read) const {
        std::scoped_lock lock(stateMutex);
        return read();
    }

    // Helpers below assume stateMutex is held.
    // Publishes the state code of what snapshot() reports.
    void publishLocked();
    bool canStartCharging() const;
    ControllerState stateLocked() const;
    // Runs `body`, which handles `event` and answers whether it was taken (no guard dropped
    // it), and tells the observer, if any, what the event found and left.
    template <typename Body>
    void observeLocked(ControllerEvent event, Body&& body,
                       const std::array<bool, 3>& obstacle = {});
    void chargingTickLocked();
    void lowBatteryClearedLocked();
    void applyExpiryLocked();
    void armExpiryLocked();

    // guarded by stateMutex
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
    ControllerObserver* observer = nullptr;

    // The boost timer.
    const Clock::duration boostDuration;
    const bool manual;
    mutable std::mutex stateMutex;
    std::condition_variable timerWakeup;
    // The due times of the pending expiries, in due order (arming order: every delay is the
    // same). A vector read from a head index, not a deque: a controller that never arms an
    // expiry allocates nothing for it, which matters to the exploration and to suites that
    // make a controller per script.
    class DueTimes {
    public:
        bool empty() const { return head_ == times_.size(); }
        std::size_t size() const { return times_.size() - head_; }
        Clock::time_point front() const { return times_[head_]; }
        void push_back(Clock::time_point due) { times_.push_back(due); }
        void pop_front() {
            if (++head_ == times_.size()) {
                clear();
            } else if (head_ >= 4096 && 2 * head_ >= times_.size()) {
                // Most of the vector is spent: keep its pending tail alone.
                times_.erase(times_.begin(), times_.begin() + static_cast<std::ptrdiff_t>(head_));
                head_ = 0;
            }
        }
        void clear() {
            times_.clear();
            head_ = 0;
        }

    private:
        std::vector<Clock::time_point> times_;
        std::size_t head_ = 0;
    };
    DueTimes dueTimes;              // guarded by stateMutex
    Clock::time_point manualNow{};  // guarded by stateMutex; the manual clock
    bool stopping = false;          // guarded by stateMutex
    std::thread timerThread;        // real time only; joined by the destructor

    // What snapshot() reports, as of the end of the last operation or expiry step: written
    // under stateMutex, read without it.
    std::atomic<std::uint64_t> published{0};
};

}  // namespace zelk
