#pragma once

// The controller's observable state at one moment, and the same packed into one 64-bit
// number: the state code that a Controller publishes after every operation, so that its
// state can be read without its lock, and that front ends key what they derive from a state
// on. Equal codes mean equal snapshots.
//
// The layout: the battery level in the low 32 bits, a bit per flag, and small numbers for
// the mode (0 when switched off, else its kind plus one), the cleaner's setting and the
// motor's heading.

#include <cstdint>
#include <string_view>

#include "zelk/Direction.hpp"
#include "zelk/OperatingMode.hpp"

namespace zelk {

// The answers of every query of a Controller at one moment.
struct StateSnapshot {
    bool powerOn;
    bool charging;
    int batteryLevel;
    bool hasCurrentMode;
    ModeKind modeKind;
    std::string_view modeName;  // static text: a mode's name, or "Off"
    bool dustSensorActive;
    bool obstacleSensorActive;
    bool cleanerCleaning;
    std::string_view cleanerMode;  // static text: "off", "normal" or "boost"
    bool motorMoving;
    bool motorForward;
    Direction motorDirection;

    bool operator==(const StateSnapshot&) const = default;
};

// The code of `state`. The mode's name is not kept: it follows from hasCurrentMode and
// modeKind. A cleaner setting other than the three is kept as "unknown".
std::uint64_t encodeState(const StateSnapshot& state);

// The snapshot of any number. Only a code that encodeState gave is a state some controller
// has been in; fields out of range in any other read as switched off, the "unknown" setting
// and whatever heading the number holds, never past a table.
StateSnapshot decodeState(std::uint64_t code);

}  // namespace zelk
