#include "Coverage.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

namespace zelk::suite {
namespace {

constexpr std::string_view OutcomeNames[] = {
    "Off",
    "Off (charging)",
    "StandbyMode",
    "StandbyMode (charging)",
    "NormalMode",
    "NormalMode (charging)",
    "BoostMode",
    "BoostMode (charging)",
    "LowBatteryMode",
    "LowBatteryMode (charging)",
    "ignored",
};
static_assert(std::size(OutcomeNames) == OutcomeCount, "one name per outcome");

}  // namespace

int stateIndex(const ControllerState& state) {
    const int base = state.power ? 2 + 2 * static_cast<int>(state.mode) : 0;
    return base + (state.charging ? 1 : 0);
}

std::string_view outcomeName(int outcome) {
    return outcome >= 0 && outcome < OutcomeCount ? OutcomeNames[outcome] : "unknown";
}

std::string_view fieldName(int field) {
    return field >= 0 && field < FieldCount
               ? sim::expectFields()[static_cast<std::size_t>(field)].name
               : "unknown";
}

int fieldIndex(std::string_view field) {
    const sim::ExpectField* const found = sim::findExpectField(field);
    return found == nullptr ? -1 : static_cast<int>(found - sim::expectFields().data());
}

std::array<bool, 3> obstacleFlags(int combination) {
    return {(combination & 4) != 0, (combination & 2) != 0, (combination & 1) != 0};
}

int obstacleCombination(const std::array<bool, 3>& flags) {
    return (flags[0] ? 4 : 0) | (flags[1] ? 2 : 0) | (flags[2] ? 1 : 0);
}

std::string obstacleName(int combination) {
    const std::array<bool, 3> flags = obstacleFlags(combination);
    const auto word = [](bool blocked) { return blocked ? "blocked" : "clear"; };
    return std::string("front=") + word(flags[0]) + " left=" + word(flags[1]) +
           " right=" + word(flags[2]);
}

void CoverageData::merge(const CoverageData& other) {
    for (std::size_t s = 0; s < pairs.size(); ++s) {
        for (std::size_t e = 0; e < pairs[s].size(); ++e) {
            PairCounts& mine = pairs[s][e];
            const PairCounts& theirs = other.pairs[s][e];
            mine.hits += theirs.hits;
            for (std::size_t o = 0; o < mine.outcomes.size(); ++o) {
                mine.outcomes[o] += theirs.outcomes[o];
                Credit& into = credit[s][e][o];
                const Credit& from = other.credit[s][e][o];
                if (from.empty()) {
                    continue;
                }
                Credit both;
                both.reserve(into.size() + from.size());
                std::merge(into.begin(), into.end(), from.begin(), from.end(),
                           std::back_inserter(both));
                into = std::move(both);
            }
        }
    }
    for (std::size_t f = 0; f < asserted.size(); ++f) {
        asserted[f] = asserted[f] || other.asserted[f];
    }
    for (std::size_t c = 0; c < obstaclesWhileMoving.size(); ++c) {
        obstaclesWhileMoving[c] = obstaclesWhileMoving[c] || other.obstaclesWhileMoving[c];
    }
}

Credit CoverageData::pairCredit(int state, int event) const {
    Credit scripts;
    for (const Credit& outcome :
         credit[static_cast<std::size_t>(state)][static_cast<std::size_t>(event)]) {
        Credit both;
        std::set_union(scripts.begin(), scripts.end(), outcome.begin(), outcome.end(),
                       std::back_inserter(both));
        scripts = std::move(both);
    }
    return scripts;
}

void CoverageData::noteAssertion(std::string_view field) {
    const int index = fieldIndex(field);
    if (index >= 0) {
        asserted[static_cast<std::size_t>(index)] = true;
    }
}

void CoverageRecorder::onTransition(const Transition& transition) {
    const auto state = static_cast<std::size_t>(stateIndex(transition.before));
    const auto event = static_cast<std::size_t>(transition.event);
    PairCounts& counts = data_.pairs[state][event];
    counts.hits += 1;
    const int outcome = transition.ignored ? Ignored : stateIndex(transition.after);
    counts.outcomes[static_cast<std::size_t>(outcome)] += 1;
    // Each script once: the scripts come in ascending order, so a script already credited is
    // the last one.
    Credit& credit = data_.credit[state][event][static_cast<std::size_t>(outcome)];
    if (credit.empty() || credit.back() != script_) {
        credit.push_back(script_);
    }
    if (transition.event == ControllerEvent::Obstacle && transition.motorMoving) {
        data_.obstaclesWhileMoving[static_cast<std::size_t>(
            obstacleCombination(transition.obstacle))] = true;
    }
}

}  // namespace zelk::suite
