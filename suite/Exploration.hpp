#pragma once

// What a new controller can reach, found by driving real controllers: every (state, event)
// pair and every outcome the core can produce, so that coverage follows the code and not a
// hand-written list. Also the graph of the states it passed through, from which paths to
// any of them can be taken.
//
// A state of the exploration is the controller's own state (power, mode, charging) and the
// battery level: the only values that the guards and transitions read. From each, every
// event is sent (obstacles with each of the eight flag combinations), and from the first
// state reached in each controller state the battery is set up to every level it can hold
// and one beyond either end (clamped).

#include <array>
#include <string>
#include <vector>

#include "Coverage.hpp"
#include <zelk/Controller.hpp>

namespace zelk::suite {

// One step: an event with its argument (for an obstacle its flag combination, for a battery
// set-up the level).
struct Step {
    ControllerEvent event = ControllerEvent::Power;
    int argument = 0;
    bool operator==(const Step&) const = default;
};

// Sends `step` to `controller`.
void apply(Controller& controller, const Step& step);
// The script line that sends `step`: "power", "obstacle 1 0 0", "battery 50"; a boost
// expiry as "timer-expired".
std::string scriptLine(const Step& step);

// The battery levels a set-up is explored with: beyond either end, and all between.
inline constexpr int LowestSetUpLevel = -1;
inline constexpr int HighestSetUpLevel = 101;

struct MachineNode {
    int state = 0;    // stateIndex
    int level = 0;    // 0 to 100
    int parent = -1;  // the node a shortest path comes from; -1 for a new controller
    Step step;        // the step from the parent
    int depth = 0;    // the steps from a new controller
};

// A step explored from a node, and where it led.
struct MachineEdge {
    int from = 0;
    Step step;
    int to = 0;
    int outcome = 0;  // the state after, or Ignored
};

struct ReachableMachine {
    std::array<std::array<bool, EventCount>, StateCount> reachable{};
    std::array<std::array<std::array<bool, OutcomeCount>, EventCount>, StateCount> outcomes{};
    std::vector<MachineNode> nodes;  // nodes[0] is a new controller
    std::vector<MachineEdge> edges;

    int reachableCount() const;
    int reachableOutcomeCount() const;
    // The steps from a new controller to `node`, the fewest there are.
    std::vector<Step> pathTo(int node) const;
    // The node of state `state` at battery level `level`, or -1 if none was reached.
    int nodeOf(int state, int level) const;

    std::array<std::array<int, 101>, StateCount> nodeIndex{};  // -1: not reached
};

ReachableMachine exploreMachine();

// What a suite's coverage comes to against the reachable set.
struct CoverageSummary {
    int covered = 0;  // reachable pairs exercised
    int reachable = 0;
    int outcomesCovered = 0;  // reachable outcomes exercised
    int outcomesReachable = 0;
    // Whole percents, rounded down, so that 100 means every one.
    int percent() const { return reachable == 0 ? 100 : covered * 100 / reachable; }
    int outcomePercent() const {
        return outcomesReachable == 0 ? 100 : outcomesCovered * 100 / outcomesReachable;
    }
};

CoverageSummary summarize(const CoverageData& data, const ReachableMachine& machine);

// A reachable outcome of a pair that no script exercised.
struct OutcomeGap {
    int state = 0;
    int event = 0;
    int outcome = 0;
    bool operator==(const OutcomeGap&) const = default;
};

// Every reachable outcome not exercised, in state, event and outcome order.
std::vector<OutcomeGap> unexercisedOutcomes(const CoverageData& data,
                                            const ReachableMachine& machine);

// Whether the reports list the pair: it is reachable, or a script exercised it all the same.
bool listedPair(const CoverageData& data, const ReachableMachine& machine, int state, int event);

// The expect fields no script asserted, and the obstacle flag combinations never sent while
// the motor was moving, as indexes in their tables' order.
std::vector<int> unassertedFields(const CoverageData& data);
std::vector<int> obstaclesNeverSentWhileMoving(const CoverageData& data);

}  // namespace zelk::suite
