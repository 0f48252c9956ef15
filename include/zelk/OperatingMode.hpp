#pragma once

#include "zelk/CleanerDriver.hpp"
#include "zelk/Direction.hpp"
#include "zelk/MotorDriver.hpp"

namespace zelk {

enum class ModeKind : int {
    Standby = 0,
    Normal = 1,
    Boost = 2,
    LowBattery = 3,
};

// One operating mode of a switched-on cleaner (the state pattern).
//
// The four implementations are stateless single objects (see Modes.hpp). The Controller
// holds a pointer to the current one, hands it each accepted event with the drivers it may
// command, and makes the returned mode current. Event operations always return one of the
// four single objects, also when the mode stays the same. Mode objects are immutable and
// may be shared between threads; the drivers they command are not synchronised, so the
// caller serialises every call.
class OperatingMode {
public:
    virtual ~OperatingMode() = default;

    // Carries out a steering decision. Only the cleaning modes move the motor.
    virtual void checkIsMoving(Direction direction, MotorDriver& motorDriver) const = 0;
    virtual OperatingMode& startButtonPressed(CleanerDriver& cleanerDriver,
                                              MotorDriver& motorDriver) = 0;
    virtual OperatingMode& lowBatteryDetected(CleanerDriver& cleanerDriver,
                                              MotorDriver& motorDriver) = 0;
    virtual OperatingMode& lowBatteryCleared() = 0;
    virtual OperatingMode& dustDetected(CleanerDriver& cleanerDriver) = 0;
    // Whether charging may start in this mode.
    virtual bool canCharge() const = 0;
    // The end of a boost. Safe in every mode: only boost cleaning reacts.
    virtual OperatingMode& timerExpired(CleanerDriver& cleanerDriver) = 0;
    virtual ModeKind kind() const = 0;
    // A string literal of static lifetime.
    virtual const char* name() const = 0;
};

}  // namespace zelk
