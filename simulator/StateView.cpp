#include "StateView.hpp"

#include <charconv>
#include <cstdint>
#include <string_view>

#include "ByteMasks.hpp"
#include "Protocol.hpp"
#include "WordIndex.hpp"

namespace zelk::sim {

std::string_view directionWord(Direction direction) {
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

using namespace std::string_view_literals;

// Appends the STATE line of `state`, and `padding` zero bytes after it. Its parts are views
// of known length, and the string grows once: a run of many short scripts formats a line for
// each state each script meets.
void appendSnapshot(std::string& out, const Controller::Snapshot& state, std::size_t padding = 0) {
    NumberBuffer digits;
    const auto level =
        std::to_chars(digits.data(), digits.data() + digits.size(), state.batteryLevel);
    const std::string_view parts[] = {
        "STATE power="sv,
        onOffWord(state.powerOn),
        " charging="sv,
        onOffWord(state.charging),
        " battery="sv,
        std::string_view(digits.data(), static_cast<std::size_t>(level.ptr - digits.data())),
        " hasMode="sv,
        boolWord(state.hasCurrentMode),
        " mode="sv,
        state.modeName,
        " dustSensor="sv,
        activeInactiveWord(state.dustSensorActive),
        " obstacleSensor="sv,
        activeInactiveWord(state.obstacleSensorActive),
        " cleaner="sv,
        onOffWord(state.cleanerCleaning),
        " cleanerMode="sv,
        state.cleanerMode,
        " motor="sv,
        motorWord(state.motorMoving),
        " motorForward="sv,
        boolWord(state.motorForward),
        "\n"sv,
    };
    std::size_t size = padding;
    for (const std::string_view part : parts) {
        size += part.size();
    }
    out.reserve(out.size() + size);
    for (const std::string_view part : parts) {
        out.append(part.data(), part.size());
    }
    out.append(padding, '\0');
}

}  // namespace

void appendStatus(std::string& out, const Controller& controller) {
    // One snapshot: the line shows a single moment, never half of a boost expiry.
    appendSnapshot(out, controller.snapshot());
}

std::string_view StateLineCache::line(const Controller& controller) {
    const std::uint64_t code = controller.stateCode();
    // Fibonacci hashing: the top bits of the product depend on every bit of the code.
    Entry& entry =
        entries_[static_cast<std::size_t>((code * 0x9E3779B97F4A7C15U) >> (64 - SlotBits))];
    if (entry.size == 0 || entry.code != code) {
        entry.code = code;
        entry.line.clear();
        appendSnapshot(entry.line, Controller::snapshotOf(code), ChunkSize);
        entry.size = entry.line.size() - ChunkSize;
    }
    return {entry.line.data(), entry.size};
}

void printStatus(std::ostream& out, const Controller& controller) {
    std::string line;
    appendStatus(line, controller);
    out << line;
}

namespace {

std::string_view numberText(int value, NumberBuffer& digits) {
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return {digits.data(), static_cast<std::size_t>(result.ptr - digits.data())};
}

using Snapshot = Controller::Snapshot;

// Spelled as the help text lists them, which is what an exact comparison settles at once;
// any letter case is accepted.
constexpr ExpectField Fields[] = {
    {"power", "", [](const Snapshot& s, NumberBuffer&) { return onOffWord(s.powerOn); }},
    {"charging", "", [](const Snapshot& s, NumberBuffer&) { return onOffWord(s.charging); }},
    {"battery", "",
     [](const Snapshot& s, NumberBuffer& d) { return numberText(s.batteryLevel, d); }},
    {"hasMode", "modePresent",
     [](const Snapshot& s, NumberBuffer&) { return boolWord(s.hasCurrentMode); }},
    {"mode", "", [](const Snapshot& s, NumberBuffer&) { return s.modeName; }},
    {"dustSensor", "",
     [](const Snapshot& s, NumberBuffer&) { return activeInactiveWord(s.dustSensorActive); }},
    {"obstacleSensor", "",
     [](const Snapshot& s, NumberBuffer&) { return activeInactiveWord(s.obstacleSensorActive); }},
    {"cleaner", "", [](const Snapshot& s, NumberBuffer&) { return onOffWord(s.cleanerCleaning); }},
    {"cleanerMode", "", [](const Snapshot& s, NumberBuffer&) { return s.cleanerMode; }},
    {"motor", "", [](const Snapshot& s, NumberBuffer&) { return motorWord(s.motorMoving); }},
    {"motorForward", "", [](const Snapshot& s, NumberBuffer&) { return boolWord(s.motorForward); }},
    {"motorDirection", "",
     [](const Snapshot& s, NumberBuffer&) { return directionWord(s.motorDirection); }},
};
static_assert(std::size(Fields) == ExpectFieldCount);

constexpr WordIndex<ExpectField, 32> FieldIndex = [] {
    WordIndex<ExpectField, 32> index;
    for (const ExpectField& field : Fields) {
        index.add(field.name, &field);
        index.add(field.alias, &field);  // nothing for an empty alias
    }
    return index;
}();
static_assert(FieldIndex.size() == ExpectFieldCount + 1, "every field and alias is in the index");

}  // namespace

std::span<const ExpectField, ExpectFieldCount> expectFields() { return Fields; }

const ExpectField* findExpectField(std::string_view name) { return FieldIndex.find(name); }

std::optional<std::string_view> fieldText(const Controller& controller, std::string_view rawField,
                                          NumberBuffer& digits) {
    const ExpectField* const field = FieldIndex.find(rawField);
    if (field == nullptr) {
        return std::nullopt;
    }
    return field->text(controller.snapshot(), digits);
}

std::optional<std::string_view> FieldReader::text(std::uint64_t code, std::string_view rawField,
                                                  NumberBuffer& digits) {
    const ExpectField* const field = FieldIndex.find(rawField);
    if (field == nullptr) {
        return std::nullopt;
    }
    if (code != code_) {
        code_ = code;
        snapshot_ = Controller::snapshotOf(code);
    }
    return field->text(snapshot_, digits);
}

std::string fieldValue(const Controller& controller, std::string_view rawField, bool& knownField) {
    NumberBuffer digits;
    const std::optional<std::string_view> text = fieldText(controller, rawField, digits);
    knownField = text.has_value();
    return std::string(text.value_or(std::string_view()));
}

bool valueMatches(std::string_view actual, std::string_view expected) {
    // Scripts mostly write a value as the transcript does: the exact comparison settles those.
    return actual == expected || equalsIgnoringCase(actual, expected);
}

}  // namespace zelk::sim
