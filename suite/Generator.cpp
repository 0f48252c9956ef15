#include "Generator.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <iterator>
#include <optional>
#include <set>

#include "StateView.hpp"
#include <zelk/Controller.hpp>

namespace zelk::suite {
namespace {

using namespace std::chrono_literals;

// A step of a tour with where the exploration says it leads.
struct Move {
    Step step;
    int to = 0;
};

// The exploration's graph: its explored steps by node, and the set-ups that move a node to
// any level of its state.
class Graph {
public:
    explicit Graph(const ReachableMachine& machine)
        : machine_(machine), steps_(machine.nodes.size()) {
        for (const MachineEdge& edge : machine.edges) {
            if (edge.step.event != ControllerEvent::BatterySetup) {
                steps_[static_cast<std::size_t>(edge.from)].push_back(edge);
            }
        }
    }

    const std::vector<MachineEdge>& stepsFrom(int node) const {
        return steps_[static_cast<std::size_t>(node)];
    }
    const MachineNode& node(int index) const {
        return machine_.nodes[static_cast<std::size_t>(index)];
    }
    std::size_t size() const { return machine_.nodes.size(); }
    int nodeOf(int state, int level) const { return machine_.nodeOf(state, level); }

private:
    const ReachableMachine& machine_;
    std::vector<std::vector<MachineEdge>> steps_;
};

// What a gap takes: a step from a node, and the outcome it has there.
struct GapStep {
    int node = -1;
    Step step;
};

// The fewest moves from `start` to a node where a step has an outcome still uncovered, and
// that step; nothing when no gap can be reached. Breadth first; a set-up reaches every level
// of a node's state in one move.
std::optional<std::pair<std::vector<Move>, GapStep>> nearestGap(
    const Graph& graph, int start, const std::set<std::tuple<int, int, int>>& uncovered) {
    const auto gapAt = [&](int node) -> std::optional<Step> {
        const int state = graph.node(node).state;
        for (const MachineEdge& edge : graph.stepsFrom(node)) {
            if (uncovered.contains({state, static_cast<int>(edge.step.event), edge.outcome})) {
                return edge.step;
            }
        }
        // A set-up keeps the state: the level it stands at will do.
        if (uncovered.contains({state, static_cast<int>(ControllerEvent::BatterySetup), state})) {
            return Step{ControllerEvent::BatterySetup, graph.node(node).level};
        }
        return std::nullopt;
    };
    std::vector<int> parent(graph.size(), -2);
    std::vector<Step> via(graph.size());
    std::vector<bool> stateSpread(StateCount, false);
    std::deque<int> queue{start};
    parent[static_cast<std::size_t>(start)] = -1;
    while (!queue.empty()) {
        const int node = queue.front();
        queue.pop_front();
        if (const std::optional<Step> gap = gapAt(node)) {
            std::vector<Move> path;
            for (int at = node; parent[static_cast<std::size_t>(at)] >= 0;
                 at = parent[static_cast<std::size_t>(at)]) {
                path.push_back({via[static_cast<std::size_t>(at)], at});
            }
            std::reverse(path.begin(), path.end());
            return std::make_pair(std::move(path), GapStep{node, *gap});
        }
        const auto reach = [&](int next, const Step& step) {
            if (next >= 0 && parent[static_cast<std::size_t>(next)] == -2) {
                parent[static_cast<std::size_t>(next)] = node;
                via[static_cast<std::size_t>(next)] = step;
                queue.push_back(next);
            }
        };
        for (const MachineEdge& edge : graph.stepsFrom(node)) {
            reach(edge.to, edge.step);
        }
        const int state = graph.node(node).state;
        if (!stateSpread[static_cast<std::size_t>(state)]) {
            stateSpread[static_cast<std::size_t>(state)] = true;
            for (int level = 0; level <= 100; ++level) {
                reach(graph.nodeOf(state, level), Step{ControllerEvent::BatterySetup, level});
            }
        }
    }
    return std::nullopt;
}

// Records what a step exercised: the transitions it caused.
class StepRecorder final : public ControllerObserver {
public:
    void onTransition(const Transition& t) override {
        seen.push_back({stateIndex(t.before), static_cast<int>(t.event),
                        t.ignored ? Ignored : stateIndex(t.after)});
    }
    std::vector<OutcomeGap> seen;
};

std::string gapText(const OutcomeGap& gap) {
    return std::string(outcomeName(gap.state)) + ", " + std::string(eventName(gap.event)) + " -> " +
           std::string(outcomeName(gap.outcome));
}

// A script being written along a tour, on a controller of its own.
class ScriptWriter {
public:
    ScriptWriter() : controller_(manualClock) { controller_.setObserver(&recorder_); }

    // Sends `step` and writes its line and the expects of what it changed; returns the
    // outcomes it exercised.
    std::vector<OutcomeGap> send(const Step& step) {
        recorder_.seen.clear();
        const Controller::Snapshot before = controller_.snapshot();
        // A boost is ended on the virtual clock, as its timer would end it; a boost expiry in
        // any other state is the one timer-expired applies at once.
        if (step.event == ControllerEvent::BoostExpiry && before.hasCurrentMode &&
            before.modeKind == ModeKind::Boost && controller_.pendingExpiries() > 0) {
            controller_.advanceClock(5s);
            body_ += "wait 5s\n";
        } else {
            apply(controller_, step);
            body_ += scriptLine(step) + "\n";
        }
        ++events_;
        writeExpects(before);
        return recorder_.seen;
    }

    // The state the controller stands in, as a node of the exploration.
    int node(const ReachableMachine& machine) const {
        const Controller::Snapshot now = controller_.snapshot();
        return machine.nodeOf(stateIndex({now.powerOn, now.modeKind, now.charging}),
                              now.batteryLevel);
    }

    std::size_t events() const { return events_; }
    const std::string& body() const { return body_; }

private:
    // The mode, charging and the battery, then every other field the step changed.
    void writeExpects(const Controller::Snapshot& before) {
        const Controller::Snapshot now = controller_.snapshot();
        constexpr std::string_view Always[] = {"mode", "charging", "battery"};
        const auto expect = [&](const sim::ExpectField& field, bool changedOnly) {
            sim::NumberBuffer was;
            sim::NumberBuffer is;
            const std::string_view value = field.text(now, is);
            if (changedOnly && field.text(before, was) == value) {
                return;
            }
            body_ += "expect ";
            body_ += field.name;
            body_ += ' ';
            body_ += value;
            body_ += '\n';
        };
        for (const std::string_view name : Always) {
            expect(*sim::findExpectField(name), false);
        }
        for (const sim::ExpectField& field : sim::expectFields()) {
            if (std::find(std::begin(Always), std::end(Always), field.name) == std::end(Always)) {
                expect(field, true);
            }
        }
    }

    Controller controller_;
    StepRecorder recorder_;
    std::string body_;
    std::size_t events_ = 0;
};

}  // namespace

Generation generateScripts(const CoverageData& data, const ReachableMachine& machine) {
    Generation generation;
    const Graph graph(machine);
    std::set<std::tuple<int, int, int>> uncovered;
    for (const OutcomeGap& gap : unexercisedOutcomes(data, machine)) {
        uncovered.insert({gap.state, gap.event, gap.outcome});
    }
    generation.outcomes = uncovered.size();
    while (!uncovered.empty()) {
        ScriptWriter writer;
        std::vector<OutcomeGap> covers;
        const auto cover = [&](const std::vector<OutcomeGap>& seen) {
            for (const OutcomeGap& gap : seen) {
                if (uncovered.erase({gap.state, gap.event, gap.outcome}) > 0) {
                    covers.push_back(gap);
                }
            }
        };
        int at = 0;  // a new controller
        for (;;) {
            auto next = nearestGap(graph, at, uncovered);
            if (!next) {
                break;
            }
            // Beginning again is cheaper when the nearest gap from a new controller is nearer.
            if (writer.events() > 0) {
                const auto fromStart = nearestGap(graph, 0, uncovered);
                if (fromStart && fromStart->first.size() < next->first.size()) {
                    break;
                }
            }
            const std::size_t before = uncovered.size();
            for (const Move& move : next->first) {
                cover(writer.send(move.step));
            }
            cover(writer.send(next->second.step));
            at = writer.node(machine);
            if (uncovered.size() == before || at < 0) {
                break;  // the step did not do what the exploration saw: start afresh
            }
        }
        if (covers.empty()) {
            break;  // no tour from a new controller reaches what is left
        }
        GeneratedScript script;
        char name[32];
        std::snprintf(name, sizeof name, "generated_%03zu.zelk", generation.scripts.size() + 1);
        script.name = name;
        script.text =
            "# Generated by zelk_suite --generate from the exploration of the controller. Each\n"
            "# event is followed by what it changed: the mode, charging and the battery at least.\n"
            "# Run it with zelk_suite, whose virtual clock \"wait\" moves.\n";
        for (const OutcomeGap& gap : covers) {
            script.text += "# covers: " + gapText(gap) + "\n";
        }
        script.text += writer.body();
        script.events = writer.events();
        script.covers = std::move(covers);
        generation.events += script.events;
        generation.scripts.push_back(std::move(script));
    }
    for (const auto& [state, event, outcome] : uncovered) {
        generation.left.push_back({state, event, outcome});
    }
    return generation;
}

}  // namespace zelk::suite
