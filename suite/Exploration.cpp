#include "Exploration.hpp"

#include <algorithm>
#include <memory>
#include <utility>

namespace zelk::suite {
namespace {

// The steps sent from every node: each event, obstacles with every flag combination. The
// battery set-up is explored apart (see exploreMachine).
std::vector<Step> eventSteps() {
    std::vector<Step> steps;
    for (const EventInfo& info : Events) {
        if (info.event == ControllerEvent::Obstacle) {
            for (int combination = 0; combination < ObstacleCombinations; ++combination) {
                steps.push_back({info.event, combination});
            }
        } else if (info.event != ControllerEvent::BatterySetup) {
            steps.push_back({info.event, 0});
        }
    }
    return steps;
}

// Keeps the last transition a controller reported.
class LastTransition final : public ControllerObserver {
public:
    void onTransition(const Transition& transition) override {
        last = transition;
        seen = true;
    }
    Transition last{};
    bool seen = false;
};

class Explorer {
public:
    ReachableMachine run();

private:
    // The node of (state, level), added with its path's last step if new.
    int nodeFor(int state, int level, int parent, const Step& step);
    // Sends `step` to `controller`, which stands at node `from`, and records what it found.
    // Returns the node it led to.
    int take(Controller& controller, int from, const Step& step);
    // A controller standing at `node`: one left there by an earlier step, or a new one
    // replaying the node's path.
    std::unique_ptr<Controller> controllerAt(int node);
    // Keeps a controller that stands at `node` for the node's own exploration, if that is
    // still to come; otherwise lets it go.
    void leave(std::unique_ptr<Controller> controller, int node, int exploring);

    ReachableMachine machine_;
    LastTransition observer_;
    // Controllers standing at nodes not explored yet, by node: each step that moves a
    // controller to such a node saves that node one replay.
    std::vector<std::vector<std::unique_ptr<Controller>>> waiting_;
};

int Explorer::nodeFor(int state, int level, int parent, const Step& step) {
    int& index =
        machine_.nodeIndex[static_cast<std::size_t>(state)][static_cast<std::size_t>(level)];
    if (index < 0) {
        index = static_cast<int>(machine_.nodes.size());
        const int depth =
            parent < 0 ? 0 : machine_.nodes[static_cast<std::size_t>(parent)].depth + 1;
        machine_.nodes.push_back({state, level, parent, step, depth});
        waiting_.emplace_back();
    }
    return index;
}

int Explorer::take(Controller& controller, int from, const Step& step) {
    observer_.seen = false;
    apply(controller, step);
    if (!observer_.seen) {
        return from;  // every event reports one transition; nothing to record otherwise
    }
    const Transition& t = observer_.last;
    const auto s = static_cast<std::size_t>(stateIndex(t.before));
    const auto e = static_cast<std::size_t>(t.event);
    const int outcome = t.ignored ? Ignored : stateIndex(t.after);
    machine_.reachable[s][e] = true;
    machine_.outcomes[s][e][static_cast<std::size_t>(outcome)] = true;
    const int to = nodeFor(stateIndex(t.after), controller.batteryLevel(), from, step);
    machine_.edges.push_back({from, step, to, outcome});
    return to;
}

std::unique_ptr<Controller> Explorer::controllerAt(int node) {
    auto& waiting = waiting_[static_cast<std::size_t>(node)];
    if (!waiting.empty()) {
        std::unique_ptr<Controller> controller = std::move(waiting.back());
        waiting.pop_back();
        return controller;
    }
    auto controller = std::make_unique<Controller>(manualClock);
    for (const Step& step : machine_.pathTo(node)) {
        apply(*controller, step);
    }
    controller->setObserver(&observer_);
    return controller;
}

void Explorer::leave(std::unique_ptr<Controller> controller, int node, int exploring) {
    if (node > exploring) {  // breadth first: nodes after the one explored are still to come
        waiting_[static_cast<std::size_t>(node)].push_back(std::move(controller));
    }
}

ReachableMachine Explorer::run() {
    for (auto& levels : machine_.nodeIndex) {
        levels.fill(-1);
    }
    // Breadth first, so that each node's path is a shortest one. A controller cannot be
    // copied: a node is reproduced by replaying its path on a new controller, or taken from
    // a step that left a controller there. A controller takes the steps one after the other
    // for as long as they leave it where it was; one that a step moved elsewhere is kept for
    // that node, and the next step takes another.
    const std::vector<Step> steps = eventSteps();
    // Every node of the eight reachable states at every level, each with its steps.
    constexpr std::size_t States = 8;
    constexpr std::size_t Levels = 101;
    constexpr std::size_t SetUpLevels = HighestSetUpLevel - LowestSetUpLevel + 1;
    machine_.nodes.reserve(States * Levels);
    waiting_.reserve(States * Levels);
    machine_.edges.reserve(States * Levels * steps.size() + States * SetUpLevels);
    std::array<bool, StateCount> setUpExplored{};
    nodeFor(stateIndex(ControllerState{}), 100, -1, Step{});
    for (std::size_t i = 0; i < machine_.nodes.size(); ++i) {
        const int node = static_cast<int>(i);
        std::unique_ptr<Controller> controller;
        for (const Step& step : steps) {
            if (!controller) {
                controller = controllerAt(node);
            }
            const int to = take(*controller, node, step);
            if (to != node) {
                leave(std::exchange(controller, nullptr), to, node);
            }
        }
        // A set-up changes the level alone, whatever the level before: from the first node of
        // each state, one controller is set to every level in turn, and each level is
        // reached by the set-up from that node.
        const auto state = static_cast<std::size_t>(machine_.nodes[i].state);
        if (!setUpExplored[state]) {
            setUpExplored[state] = true;
            if (!controller) {
                controller = controllerAt(node);
            }
            int at = node;
            for (int level = LowestSetUpLevel; level <= HighestSetUpLevel; ++level) {
                const Step step{ControllerEvent::BatterySetup, level};
                const int to = take(*controller, at, step);
                // The shortest path to a level is the set-up from this node.
                MachineNode& reached = machine_.nodes[static_cast<std::size_t>(to)];
                if (reached.parent != node && reached.depth > machine_.nodes[i].depth + 1) {
                    reached.parent = node;
                    reached.step = step;
                    reached.depth = machine_.nodes[i].depth + 1;
                }
                at = to;
            }
            controller.reset();
        }
        waiting_[i].clear();  // explored: what still stands here is not needed
    }
    return std::move(machine_);
}

}  // namespace

void apply(Controller& controller, const Step& step) {
    switch (step.event) {
        case ControllerEvent::Power:
            controller.powerButtonPressed();
            return;
        case ControllerEvent::Start:
            controller.startButtonPressed();
            return;
        case ControllerEvent::Charge:
            controller.chargeBattery();
            return;
        case ControllerEvent::ChargingTick:
            controller.chargingTick();
            return;
        case ControllerEvent::StopCharging:
            controller.stopCharging();
            return;
        case ControllerEvent::LowBattery:
            controller.lowBatteryDetected();
            return;
        case ControllerEvent::LowBatteryCleared:
            controller.lowBatteryCleared();
            return;
        case ControllerEvent::Dust:
            controller.dustDetected();
            return;
        case ControllerEvent::Obstacle: {
            const std::array<bool, 3> flags = obstacleFlags(step.argument);
            const bool blocked[3] = {flags[0], flags[1], flags[2]};
            controller.obstacleDetected(blocked);
            return;
        }
        case ControllerEvent::BoostExpiry:
            controller.timerExpiredNow();
            return;
        case ControllerEvent::BatterySetup:
            controller.setBatteryLevel(step.argument);
            return;
        case ControllerEvent::Count:
            return;
    }
}

std::string scriptLine(const Step& step) {
    std::string line(Events[static_cast<std::size_t>(step.event)].command);
    if (step.event == ControllerEvent::Obstacle) {
        const std::array<bool, 3> flags = obstacleFlags(step.argument);
        for (const bool blocked : flags) {
            line += blocked ? " 1" : " 0";
        }
    } else if (step.event == ControllerEvent::BatterySetup) {
        line += ' ';
        line += std::to_string(step.argument);
    }
    return line;
}

int ReachableMachine::reachableCount() const {
    int count = 0;
    for (const auto& events : reachable) {
        count += static_cast<int>(std::count(events.begin(), events.end(), true));
    }
    return count;
}

int ReachableMachine::reachableOutcomeCount() const {
    int count = 0;
    for (const auto& events : outcomes) {
        for (const auto& seen : events) {
            count += static_cast<int>(std::count(seen.begin(), seen.end(), true));
        }
    }
    return count;
}

std::vector<Step> ReachableMachine::pathTo(int node) const {
    std::vector<Step> path;
    for (int at = node; at >= 0 && nodes[static_cast<std::size_t>(at)].parent >= 0;
         at = nodes[static_cast<std::size_t>(at)].parent) {
        path.push_back(nodes[static_cast<std::size_t>(at)].step);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

int ReachableMachine::nodeOf(int state, int level) const {
    if (state < 0 || state >= StateCount || level < 0 || level > 100) {
        return -1;
    }
    return nodeIndex[static_cast<std::size_t>(state)][static_cast<std::size_t>(level)];
}

ReachableMachine exploreMachine() { return Explorer().run(); }

CoverageSummary summarize(const CoverageData& data, const ReachableMachine& machine) {
    CoverageSummary summary;
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            const auto si = static_cast<std::size_t>(s);
            const auto ei = static_cast<std::size_t>(e);
            const PairCounts& counts = data.pair(s, e);
            if (machine.reachable[si][ei]) {
                summary.reachable += 1;
                summary.covered += counts.hits > 0 ? 1 : 0;
            }
            for (std::size_t o = 0; o < OutcomeCount; ++o) {
                if (machine.outcomes[si][ei][o]) {
                    summary.outcomesReachable += 1;
                    summary.outcomesCovered += counts.outcomes[o] > 0 ? 1 : 0;
                }
            }
        }
    }
    return summary;
}

std::vector<OutcomeGap> unexercisedOutcomes(const CoverageData& data,
                                            const ReachableMachine& machine) {
    std::vector<OutcomeGap> gaps;
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            for (int o = 0; o < OutcomeCount; ++o) {
                if (machine.outcomes[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)]
                                    [static_cast<std::size_t>(o)] &&
                    data.pair(s, e).outcomes[static_cast<std::size_t>(o)] == 0) {
                    gaps.push_back({s, e, o});
                }
            }
        }
    }
    return gaps;
}

bool listedPair(const CoverageData& data, const ReachableMachine& machine, int state, int event) {
    return machine.reachable[static_cast<std::size_t>(state)][static_cast<std::size_t>(event)] ||
           data.pair(state, event).hits > 0;
}

std::vector<int> unassertedFields(const CoverageData& data) {
    std::vector<int> fields;
    for (int f = 0; f < FieldCount; ++f) {
        if (!data.asserted[static_cast<std::size_t>(f)]) {
            fields.push_back(f);
        }
    }
    return fields;
}

std::vector<int> obstaclesNeverSentWhileMoving(const CoverageData& data) {
    std::vector<int> combinations;
    for (int c = 0; c < ObstacleCombinations; ++c) {
        if (!data.obstaclesWhileMoving[static_cast<std::size_t>(c)]) {
            combinations.push_back(c);
        }
    }
    return combinations;
}

}  // namespace zelk::suite
