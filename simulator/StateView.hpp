#pragma once

// The simulator's one view of the controller: the STATE line, the fields that a script's
// "expect" reads, and how an expected value is compared. Every call reads the controller
// afresh, through one snapshot taken under the controller's lock: a STATE line or a field
// shows a single moment, never half of a boost expiry.

#include <array>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <zelk/Controller.hpp>
#include <zelk/Direction.hpp>

namespace zelk::sim {

// "FRONT", "LEFT", "RIGHT", "BACK", or "UNKNOWN" for any other value.
std::string directionText(Direction direction);

// Appends one STATE line, line feed included, to `out`.
void appendStatus(std::string& out, const Controller& controller);

// Appends STATE lines like appendStatus, formatting a line only for a state it has not
// formatted lately: it keeps the lines of the last few states (a script tends to move
// between a handful of them).
class StateLineCache {
public:
    void append(std::string& out, const Controller& controller);

private:
    struct Entry {
        Controller::Snapshot state;
        std::string line;
    };
    static constexpr std::size_t Size = 8;
    std::array<std::optional<Entry>, Size> entries_;
    std::size_t next_ = 0;  // the entry to replace next (the oldest)
};

// Writes one STATE line, line feed included.
void printStatus(std::ostream& out, const Controller& controller);

// The text of the field named by `rawField` (any letter case). For an unknown name,
// `knownField` becomes false and the result is empty.
std::string fieldValue(const Controller& controller, std::string_view rawField, bool& knownField);

// Whole-string comparison that ignores ASCII letter case only.
bool valueMatches(std::string_view actual, std::string_view expected);

}  // namespace zelk::sim
