#pragma once

// The simulator's one view of the controller: the STATE line, the fields that a script's
// "expect" reads, and how an expected value is compared. Every call reads the controller
// afresh, through one snapshot (or the state code it comes from): a STATE line or a field
// shows a single moment, never half of a boost expiry.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include <zelk/Controller.hpp>
#include <zelk/Direction.hpp>

namespace zelk::sim {

// "FRONT", "LEFT", "RIGHT", "BACK", or "UNKNOWN" for any other value, as static text.
std::string_view directionWord(Direction direction);
// The same as a string.
inline std::string directionText(Direction direction) {
    return std::string(directionWord(direction));
}

// Appends one STATE line, line feed included, to `out`.
void appendStatus(std::string& out, const Controller& controller);

// The STATE line of a controller's state now, as appendStatus formats it, formatted only for
// a state not seen lately: it keeps the lines of recent states (a script tends to move
// between a handful of them), each in a slot chosen by the controller's state code.
class StateLineCache {
public:
    // The line, line feed included, valid until the next call. Its storage goes on for
    // ChunkSize bytes after it.
    std::string_view line(const Controller& controller);

private:
    struct Entry {
        std::uint64_t code = 0;  // the controller's state code the line shows
        std::string line;        // the line, then ChunkSize zero bytes
        std::size_t size = 0;    // the line's; 0: a free slot
    };
    static constexpr unsigned SlotBits = 7;
    static constexpr std::size_t Size = std::size_t{1} << SlotBits;
    std::array<Entry, Size> entries_{};
};

// Writes one STATE line, line feed included.
void printStatus(std::ostream& out, const Controller& controller);

// Room for the digits of any int.
using NumberBuffer = std::array<char, 12>;

// An expect field: its name as the help text and the STATE line spell it, another name it
// answers to (not in the help text), and how it renders a snapshot: static text, or digits
// written into the caller's buffer.
struct ExpectField {
    std::string_view name;
    std::string_view alias;  // empty: none
    std::string_view (*text)(const Controller::Snapshot& state, NumberBuffer& digits);
};

inline constexpr std::size_t ExpectFieldCount = 12;
// Every expect field, in the order of the help text: the one list of them.
std::span<const ExpectField, ExpectFieldCount> expectFields();
// The field named `name` in any letter case, its alias included, or null.
const ExpectField* findExpectField(std::string_view name);

// The text of the field named by `rawField` (any letter case), or none for an unknown name:
// static text, or digits written into `digits`. One snapshot of the controller.
std::optional<std::string_view> fieldText(const Controller& controller, std::string_view rawField,
                                          NumberBuffer& digits);
// fieldText for a run of many expects: it keeps the snapshot of the last state code it saw,
// and decodes one again only when the controller's state has changed.
class FieldReader {
public:
    std::optional<std::string_view> text(const Controller& controller, std::string_view rawField,
                                         NumberBuffer& digits) {
        return text(controller.stateCode(), rawField, digits);
    }
    // The field in the state of `code`, a controller's state code.
    std::optional<std::string_view> text(std::uint64_t code, std::string_view rawField,
                                         NumberBuffer& digits);

private:
    std::uint64_t code_ = 0;
    Controller::Snapshot snapshot_ = Controller::snapshotOf(0);
};

// The same as a string. For an unknown name, `knownField` becomes false and the result is
// empty.
std::string fieldValue(const Controller& controller, std::string_view rawField, bool& knownField);

// Whole-string comparison that ignores ASCII letter case only.
bool valueMatches(std::string_view actual, std::string_view expected);

}  // namespace zelk::sim
