#include "zelk/StateCode.hpp"

#include <algorithm>
#include <cstddef>

#include "zelk/Modes.hpp"

namespace zelk {
namespace {

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

StateSnapshot decodeState(std::uint64_t code) {
    using namespace statecode;
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
