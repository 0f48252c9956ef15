#pragma once

// The controller's observable state at one moment, and the same packed into one 64-bit
// number: the state code that a Controller publishes after every operation, so that its
// state can be read without its lock, and that front ends key what they derive from a state
// on. Equal codes mean equal snapshots.
//
// The layout: the battery level in the low 32 bits, a bit per flag, and small numbers for
// the mode (0 when switched off, else its kind plus one), the cleaner's setting and the
// motor's heading.

#include <array>
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

// The layout, for encodeState and decodeState alone.
namespace statecode {

enum CodeBit : unsigned {
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
inline constexpr std::uint64_t FieldMask = 0xf;

// The cleaner's settings, by their number in the code; the driver holds one of the first
// three texts and nothing else.
inline constexpr std::array<std::string_view, 4> SettingTexts{"off", "normal", "boost", "unknown"};

constexpr std::uint64_t settingNumber(std::string_view setting) {
    // Told apart by their lengths, then confirmed, each against a text of known length (a
    // compare of a few bytes, not a call): this runs after every event.
    switch (setting.size()) {
        case SettingTexts[0].size():
            return setting == SettingTexts[0] ? 0 : 3;
        case SettingTexts[1].size():
            return setting == SettingTexts[1] ? 1 : 3;
        case SettingTexts[2].size():
            return setting == SettingTexts[2] ? 2 : 3;
        default:
            return 3;
    }
}

}  // namespace statecode

// The code of `state`. The mode's name is not kept: it follows from hasCurrentMode and
// modeKind. A cleaner setting other than the three is kept as "unknown". Inlined: it runs
// after every event.
inline std::uint64_t encodeState(const StateSnapshot& state) {
    using namespace statecode;
    std::uint64_t code = static_cast<std::uint32_t>(state.batteryLevel);
    const auto setBit = [&code](bool value, CodeBit bit) {
        code |= static_cast<std::uint64_t>(value) << bit;
    };
    setBit(state.powerOn, PowerBit);
    setBit(state.charging, ChargingBit);
    setBit(state.dustSensorActive, DustSensorBit);
    setBit(state.obstacleSensorActive, ObstacleSensorBit);
    setBit(state.cleanerCleaning, CleaningBit);
    setBit(state.motorMoving, MotorMovingBit);
    setBit(state.motorForward, MotorForwardBit);
    const std::uint64_t mode =
        state.hasCurrentMode ? static_cast<std::uint64_t>(state.modeKind) + 1 : 0;
    code |= (mode & FieldMask) << ModeShift;
    code |= settingNumber(state.cleanerMode) << SettingShift;
    code |= (static_cast<std::uint64_t>(state.motorDirection) & FieldMask) << DirectionShift;
    return code;
}

// The snapshot of any number. Only a code that encodeState gave is a state some controller
// has been in; fields out of range in any other read as switched off, the "unknown" setting
// and whatever heading the number holds, never past a table.
StateSnapshot decodeState(std::uint64_t code);

}  // namespace zelk
