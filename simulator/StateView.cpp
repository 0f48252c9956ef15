#include "StateView.hpp"

#include <string_view>

#include "TextHelpers.hpp"

namespace zelk::sim {
namespace {

constexpr std::string_view motorWord(bool moving) { return moving ? "moving" : "stopped"; }

}  // namespace

std::string directionText(Direction direction) {
    switch (direction) {
        case Direction::FRONT:
            return "FRONT";
        case Direction::LEFT:
            return "LEFT";
        case Direction::RIGHT:
            return "RIGHT";
        case Direction::BACK:
            return "BACK";
    }
    return "UNKNOWN";
}

namespace {

void appendSnapshot(std::string& out, const Controller::Snapshot& state) {
    out += "STATE power=";
    out += onOffWord(state.powerOn);
    out += " charging=";
    out += onOffWord(state.charging);
    out += " battery=";
    out += std::to_string(state.batteryLevel);
    out += " hasMode=";
    out += boolWord(state.hasCurrentMode);
    out += " mode=";
    out += state.modeName;
    out += " dustSensor=";
    out += activeInactiveWord(state.dustSensorActive);
    out += " obstacleSensor=";
    out += activeInactiveWord(state.obstacleSensorActive);
    out += " cleaner=";
    out += onOffWord(state.cleanerCleaning);
    out += " cleanerMode=";
    out += state.cleanerMode;
    out += " motor=";
    out += motorWord(state.motorMoving);
    out += " motorForward=";
    out += boolWord(state.motorForward);
    out += '\n';
}

}  // namespace

void appendStatus(std::string& out, const Controller& controller) {
    // One snapshot: the line shows a single moment, never half of a boost expiry.
    appendSnapshot(out, controller.snapshot());
}

void StateLineCache::append(std::string& out, const Controller& controller) {
    Controller::Snapshot state = controller.snapshot();
    if (!last_ || !(*last_ == state)) {
        line_.clear();
        appendSnapshot(line_, state);
        last_ = std::move(state);
    }
    out += line_;
}

void printStatus(std::ostream& out, const Controller& controller) {
    std::string line;
    appendStatus(line, controller);
    out << line;
}

std::string fieldValue(const Controller& controller, std::string_view rawField, bool& knownField) {
    knownField = true;
    const std::string field = toLower(std::string(rawField));
    if (field == "power") return onOff(controller.isPowerOn());
    if (field == "charging") return onOff(controller.isCharging());
    if (field == "battery") return std::to_string(controller.batteryLevel());
    if (field == "hasmode" || field == "modepresent") {
        return boolText(controller.hasCurrentMode());
    }
    if (field == "mode") return controller.currentModeName();
    if (field == "dustsensor") return activeInactive(controller.isDustSensorActive());
    if (field == "obstaclesensor") return activeInactive(controller.isObstacleSensorActive());
    if (field == "cleaner") return onOff(controller.isCleanerCleaning());
    if (field == "cleanermode") return controller.cleanerMode();
    if (field == "motor") return std::string(motorWord(controller.isMotorMoving()));
    if (field == "motorforward") return boolText(controller.isMotorForward());
    if (field == "motordirection") return directionText(controller.motorDirection());
    knownField = false;
    return {};
}

bool valueMatches(std::string_view actual, std::string_view expected) {
    return equalsIgnoringCase(actual, expected);
}

}  // namespace zelk::sim
