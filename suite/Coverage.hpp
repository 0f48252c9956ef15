#pragma once

// Transition coverage of the cleaner's state machine: which (state, event) pairs a suite
// exercised and with which outcomes, which expect fields no script asserted and which
// obstacle flag combinations were never sent while the motor was running. What can be
// reached at all is found by exploring the real core (Exploration.hpp); the reports
// (reports/) render the two together.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Events.hpp"
#include "StateView.hpp"
#include <zelk/ControllerObserver.hpp>

namespace zelk::suite {

// Power, mode and charging as one index: Off, Off (charging), StandbyMode, StandbyMode
// (charging), NormalMode, ... LowBatteryMode (charging).
inline constexpr int StateCount = 10;
// An outcome is a state index, or Ignored where a guard dropped the event.
inline constexpr int Ignored = StateCount;
inline constexpr int OutcomeCount = StateCount + 1;
inline constexpr int FieldCount = static_cast<int>(sim::ExpectFieldCount);
inline constexpr int ObstacleCombinations = 8;

int stateIndex(const ControllerState& state);
// "Off", "StandbyMode (charging)", ...; "ignored" for Ignored.
std::string_view outcomeName(int outcome);
// The expect fields as the help text spells them, in its order.
std::string_view fieldName(int field);
// The index of an expect field written in any case, its alias included; -1 if none.
int fieldIndex(std::string_view field);
// "front=blocked left=clear right=clear" for the flags of combination `combination`
// (bit 2 front, bit 1 left, bit 0 right).
std::string obstacleName(int combination);
std::array<bool, 3> obstacleFlags(int combination);
int obstacleCombination(const std::array<bool, 3>& flags);

struct PairCounts {
    std::uint64_t hits = 0;
    std::array<std::uint64_t, OutcomeCount> outcomes{};
};

// The scripts that exercised something, by their index in the run's list of scripts, in
// ascending order.
using Credit = std::vector<std::uint32_t>;

// What one script (or a whole suite, once merged) exercised.
struct CoverageData {
    std::array<std::array<PairCounts, EventCount>, StateCount> pairs{};
    std::array<bool, FieldCount> asserted{};
    std::array<bool, ObstacleCombinations> obstaclesWhileMoving{};
    // For each outcome of each pair, the scripts that exercised it (CoverageRecorder records
    // it for scripts given in ascending order, as a worker runs them).
    std::array<std::array<std::array<Credit, OutcomeCount>, EventCount>, StateCount> credit{};

    // Adds another's counts and credit; the scripts of the two are disjoint.
    void merge(const CoverageData& other);
    // The scripts that exercised any outcome of the pair, ascending.
    Credit pairCredit(int state, int event) const;
    // Marks an expect field, named in any case, as asserted.
    void noteAssertion(std::string_view field);
    const PairCounts& pair(int state, int event) const {
        return pairs[static_cast<std::size_t>(state)][static_cast<std::size_t>(event)];
    }
};

// Records every event of one controller, the one of script `script`, into a CoverageData.
class CoverageRecorder final : public ControllerObserver {
public:
    CoverageRecorder(CoverageData& data, std::uint32_t script) : data_(data), script_(script) {}
    void onTransition(const Transition& transition) override;

private:
    CoverageData& data_;
    std::uint32_t script_;
};

}  // namespace zelk::suite
