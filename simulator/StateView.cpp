#include "StateView.hpp"

#include <string_view>

#include "TextHelpers.hpp"

namespace zelk::sim {
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

namespace {

// Whether two snapshots print the same STATE line: the cheap fields first, and a mode name
// (static text) by its address before its letters.
bool sameLine(const Controller::Snapshot& a, const Controller::Snapshot& b) {
    return a.powerOn == b.powerOn && a.charging == b.charging && a.batteryLevel == b.batteryLevel &&
           a.hasCurrentMode == b.hasCurrentMode && a.dustSensorActive == b.dustSensorActive &&
           a.obstacleSensorActive == b.obstacleSensorActive &&
           a.cleanerCleaning == b.cleanerCleaning && a.motorMoving == b.motorMoving &&
           a.motorForward == b.motorForward &&
           (a.modeName.data() == b.modeName.data() || a.modeName == b.modeName) &&
           a.cleanerMode == b.cleanerMode;
}

}  // namespace

void StateLineCache::append(std::string& out, const Controller& controller) {
    const Controller::Snapshot state = controller.snapshot();
    for (const std::optional<Entry>& entry : entries_) {
        if (entry && sameLine(entry->state, state)) {
            out += entry->line;
            return;
        }
    }
    std::optional<Entry>& slot = entries_[next_];
    next_ = (next_ + 1) % Size;
    if (!slot) {
        slot.emplace();
    }
    slot->state = state;
    slot->line.clear();
    appendSnapshot(slot->line, state);
    out += slot->line;
}

void printStatus(std::ostream& out, const Controller& controller) {
    std::string line;
    appendStatus(line, controller);
    out << line;
}

namespace {

// The expect fields, by their lower-cased names, and how each renders the snapshot.
struct Field {
    std::string_view name;
    std::string (*text)(const Controller::Snapshot& state);
};

constexpr Field Fields[] = {
    {"power", [](const Controller::Snapshot& s) { return onOff(s.powerOn); }},
    {"charging", [](const Controller::Snapshot& s) { return onOff(s.charging); }},
    {"battery", [](const Controller::Snapshot& s) { return std::to_string(s.batteryLevel); }},
    {"hasmode", [](const Controller::Snapshot& s) { return boolText(s.hasCurrentMode); }},
    {"modepresent", [](const Controller::Snapshot& s) { return boolText(s.hasCurrentMode); }},
    {"mode", [](const Controller::Snapshot& s) { return std::string(s.modeName); }},
    {"dustsensor",
     [](const Controller::Snapshot& s) { return activeInactive(s.dustSensorActive); }},
    {"obstaclesensor",
     [](const Controller::Snapshot& s) { return activeInactive(s.obstacleSensorActive); }},
    {"cleaner", [](const Controller::Snapshot& s) { return onOff(s.cleanerCleaning); }},
    {"cleanermode", [](const Controller::Snapshot& s) { return s.cleanerMode; }},
    {"motor", [](const Controller::Snapshot& s) { return std::string(motorWord(s.motorMoving)); }},
    {"motorforward", [](const Controller::Snapshot& s) { return boolText(s.motorForward); }},
    {"motordirection",
     [](const Controller::Snapshot& s) { return directionText(s.motorDirection); }},
};

}  // namespace

std::string fieldValue(const Controller& controller, std::string_view rawField, bool& knownField) {
    char buffer[16];  // longer than any field name
    const std::string_view name = lowerInto(rawField, buffer);
    for (const Field& field : Fields) {
        if (!name.empty() && name == field.name) {
            knownField = true;
            return field.text(controller.snapshot());
        }
    }
    knownField = false;
    return {};
}

bool valueMatches(std::string_view actual, std::string_view expected) {
    return equalsIgnoringCase(actual, expected);
}

}  // namespace zelk::sim
