#pragma once

// What a Controller tells an observer about each event it handles: which event, the state
// it found and the state it left, and whether a guard dropped it. Coverage tools and traces
// watch a controller through this interface; the controller itself keeps no record.

#include <array>

#include "zelk/OperatingMode.hpp"

namespace zelk {

// The events a controller handles, one per public event operation, plus the boost expiry
// (applied by the timer or by timerExpiredNow).
enum class ControllerEvent : int {
    Power,
    Start,
    Charge,
    ChargingTick,
    StopCharging,
    LowBattery,
    LowBatteryCleared,
    Dust,
    Obstacle,
    BoostExpiry,
    BatterySetup,
    Count,  // not an event: how many there are
};

inline constexpr int ControllerEventCount = static_cast<int>(ControllerEvent::Count);

// The controller's own state: power, the current mode (Standby while switched off, as
// Controller::currentModeKind answers) and the orthogonal charging flag.
struct ControllerState {
    bool power = false;
    ModeKind mode = ModeKind::Standby;
    bool charging = false;

    bool operator==(const ControllerState&) const = default;
};

struct Transition {
    ControllerEvent event;
    ControllerState before;
    ControllerState after;         // equal to `before` when `ignored`
    bool ignored;                  // a guard dropped the event; nothing changed
    bool motorMoving;              // whether the motor was running when the event arrived
    std::array<bool, 3> obstacle;  // for Obstacle: front, left, right (true = blocked)
};

// Called once per handled event, after the event, with the controller's lock held and on
// the thread that applied it (the timer thread for a real boost expiry). An observer must
// not call back into the controller, and must be safe to call from that thread.
class ControllerObserver {
public:
    virtual ~ControllerObserver() = default;
    virtual void onTransition(const Transition& transition) = 0;
};

}  // namespace zelk
