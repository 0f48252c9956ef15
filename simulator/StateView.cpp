#include "StateView.hpp"

#include "TextHelpers.hpp"

namespace zelk::sim {
namespace {

std::string motorText(bool moving) { return moving ? "moving" : "stopped"; }

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

void appendStatus(std::string& out, const Controller& controller) {
    // Each value is read at the moment its segment is written.
    out += "STATE power=";
    out += onOff(controller.isPowerOn());
    out += " charging=";
    out += onOff(controller.isCharging());
    out += " battery=";
    out += std::to_string(controller.batteryLevel());
    out += " hasMode=";
    out += boolText(controller.hasCurrentMode());
    out += " mode=";
    out += controller.currentModeName();
    out += " dustSensor=";
    out += activeInactive(controller.isDustSensorActive());
    out += " obstacleSensor=";
    out += activeInactive(controller.isObstacleSensorActive());
    out += " cleaner=";
    out += onOff(controller.isCleanerCleaning());
    out += " cleanerMode=";
    out += controller.cleanerMode();
    out += " motor=";
    out += motorText(controller.isMotorMoving());
    out += " motorForward=";
    out += boolText(controller.isMotorForward());
    out += '\n';
}

void printStatus(std::ostream& out, const Controller& controller) {
    std::string line;
    appendStatus(line, controller);
    out << line;
}

std::string fieldValue(const Controller& controller, const std::string& rawField,
                       bool& knownField) {
    knownField = true;
    const std::string field = toLower(rawField);
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
    if (field == "motor") return motorText(controller.isMotorMoving());
    if (field == "motorforward") return boolText(controller.isMotorForward());
    if (field == "motordirection") return directionText(controller.motorDirection());
    knownField = false;
    return {};
}

bool valueMatches(const std::string& actual, const std::string& expected) {
    return toLower(actual) == toLower(expected);
}

}  // namespace zelk::sim
