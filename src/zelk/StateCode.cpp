#include "zelk/StateCode.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

#include "zelk/Modes.hpp"

namespace zelk {
namespace {

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
constexpr std::uint64_t FieldMask = 0xf;

// The cleaner's settings, by their number in the code; the driver holds one of the first
// three texts and nothing else.
constexpr std::array<std::string_view, 4> SettingTexts{"off", "normal", "boost", "unknown"};

std::uint64_t settingNumber(std::string_view setting) {
    std::uint64_t number = 0;
    while (number + 1 < SettingTexts.size() && setting != SettingTexts[number]) {
        ++number;
    }
    return number;
}

// What a snapshot reports of the mode, by its number in the code. Each mode is one object
// with a fixed kind and name, so these are read once.
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

std::uint64_t encodeState(const StateSnapshot& state) {
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

StateSnapshot decodeState(std::uint64_t code) {
    const auto bit = [code](CodeBit at) { return ((code >> at) & 1U) != 0; };
    const std::size_t modeNumber = (code >> ModeShift) & FieldMask;
    const std::array<ModeFacts, 5>& facts = modeFacts();
    const ModeFacts& mode = facts[modeNumber < facts.size() ? modeNumber : 0];
    const std::size_t setting = (code >> SettingShift) & FieldMask;
    return StateSnapshot{
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

}  // namespace zelk
