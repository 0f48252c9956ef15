#pragma once

// Transition coverage of the cleaner's state machine: which (state, event) pairs a suite
// exercised and with which outcomes, which of them a new controller can reach at all
// (found by exploring the real core), which expect fields no script asserted and which
// obstacle flag combinations were never sent while the motor was running.

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <zelk/ControllerObserver.hpp>

namespace zelk::suite {

// Power, mode and charging as one index: Off, Off (charging), StandbyMode, StandbyMode
// (charging), NormalMode, ... LowBatteryMode (charging).
inline constexpr int StateCount = 10;
inline constexpr int EventCount = ControllerEventCount;
// An outcome is a state index, or Ignored where a guard dropped the event.
inline constexpr int Ignored = StateCount;
inline constexpr int OutcomeCount = StateCount + 1;
inline constexpr int FieldCount = 12;

int stateIndex(const ControllerState& state);
// "Off", "StandbyMode (charging)", ...; "ignored" for Ignored.
std::string_view outcomeName(int outcome);
// "power", "charging tick", "boost expiry", ...
std::string_view eventName(int event);
// The expect fields as the help text spells them, in its order.
std::string_view fieldName(int field);
// The index of an expect field written in any case ("modePresent" is hasMode); -1 if none.
int fieldIndex(std::string_view field);
// "front=blocked left=clear right=clear" for the flags of combination `combination`
// (bit 2 front, bit 1 left, bit 0 right).
std::string obstacleName(int combination);

struct PairCounts {
    std::uint64_t hits = 0;
    std::array<std::uint64_t, OutcomeCount> outcomes{};
};

// What one script (or a whole suite, once merged) exercised.
struct CoverageData {
    std::array<std::array<PairCounts, EventCount>, StateCount> pairs{};
    std::array<bool, FieldCount> asserted{};
    std::array<bool, 8> obstaclesWhileMoving{};

    void merge(const CoverageData& other);
    // Marks an expect field, named in any case, as asserted.
    void noteAssertion(std::string_view field);
};

// Records every event of one controller into a CoverageData.
class CoverageRecorder final : public ControllerObserver {
public:
    explicit CoverageRecorder(CoverageData& data) : data_(data) {}
    void onTransition(const Transition& transition) override;

private:
    CoverageData& data_;
};

// Every (state, event) pair reachable from a new controller, with every outcome seen for
// it, found by driving real controllers through every event (battery set-up to empty
// and all obstacle flags) from every state they reach.
struct ReachableMachine {
    std::array<std::array<bool, EventCount>, StateCount> reachable{};
    std::array<std::array<std::array<bool, OutcomeCount>, EventCount>, StateCount> outcomes{};
    int reachableCount() const;
};

ReachableMachine exploreMachine();

struct CoverageSummary {
    int covered = 0;
    int reachable = 0;
    // Whole percent, rounded down, so that 100 means every reachable pair.
    int percent() const { return reachable == 0 ? 100 : covered * 100 / reachable; }
};

CoverageSummary summarize(const CoverageData& data, const ReachableMachine& machine);

// The text report; its last line is "transitions covered: K/N (P%)".
void writeCoverageText(std::ostream& out, const CoverageData& data,
                       const ReachableMachine& machine);
// The same as one JSON object; `scripts` are the paths of the scripts that ran.
void writeCoverageJson(std::ostream& out, const CoverageData& data, const ReachableMachine& machine,
                       const std::vector<std::string>& scripts);
// A Mermaid stateDiagram-v2 of Off and the four modes, one edge per change of mode,
// labelled with the events that cause it; guarded events and self-loops are left out.
void writeStateDiagram(std::ostream& out, const ReachableMachine& machine);

}  // namespace zelk::suite
