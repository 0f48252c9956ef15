#include "Coverage.hpp"

#include <algorithm>
#include <deque>
#include <iomanip>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "Escape.hpp"
#include "AsciiCase.hpp"
#include <zelk/Controller.hpp>

namespace zelk::suite {
namespace {

constexpr std::array<std::string_view, OutcomeCount> OutcomeNames{
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

constexpr std::array<std::string_view, EventCount> EventNames{
    "power",
    "start",
    "charge",
    "charging tick",
    "stop charging",
    "low battery",
    "low battery cleared",
    "dust",
    "obstacle",
    "boost expiry",
    "battery set-up",
};

constexpr std::array<std::string_view, FieldCount> FieldNames{
    "power",          "charging", "battery",     "hasMode", "mode",         "dustSensor",
    "obstacleSensor", "cleaner",  "cleanerMode", "motor",   "motorForward", "motorDirection",
};

// The battery levels that the exploration sets up, besides the new controller's 100: empty.
// Charging steps from it reach every level at which the guards and transitions differ: 10
// (still low), 20 (low battery clears), 90 (one step fills the battery) and full. Adding
// other set-up levels finds no further pair or outcome.
constexpr std::array<int, 1> ExploredLevels{0};

// One step of the exploration: an event with its argument (obstacle flags as a
// combination, or a battery level).
struct Step {
    ControllerEvent event;
    int argument = 0;
};

std::array<bool, 3> obstacleFlags(int combination) {
    return {(combination & 4) != 0, (combination & 2) != 0, (combination & 1) != 0};
}

int obstacleCombination(const std::array<bool, 3>& flags) {
    return (flags[0] ? 4 : 0) | (flags[1] ? 2 : 0) | (flags[2] ? 1 : 0);
}

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
    }
}

std::vector<Step> allSteps() {
    std::vector<Step> steps;
    for (int event = 0; event < EventCount; ++event) {
        const auto kind = static_cast<ControllerEvent>(event);
        if (kind == ControllerEvent::Obstacle) {
            for (int combination = 0; combination < 8; ++combination) {
                steps.push_back({kind, combination});
            }
        } else if (kind == ControllerEvent::BatterySetup) {
            for (int level : ExploredLevels) {
                steps.push_back({kind, level});
            }
        } else {
            steps.push_back({kind, 0});
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

std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    out.append(width > out.size() ? width - out.size() : 1, ' ');
    return out;
}

}  // namespace

int stateIndex(const ControllerState& state) {
    const int base = state.power ? 2 + 2 * static_cast<int>(state.mode) : 0;
    return base + (state.charging ? 1 : 0);
}

std::string_view outcomeName(int outcome) {
    return OutcomeNames.at(static_cast<std::size_t>(outcome));
}

std::string_view eventName(int event) { return EventNames.at(static_cast<std::size_t>(event)); }

std::string_view fieldName(int field) { return FieldNames.at(static_cast<std::size_t>(field)); }

int fieldIndex(std::string_view field) {
    if (field.size() == 11 && sim::equalsIgnoringCase(field, "modePresent")) {
        return 3;  // the alias of hasMode
    }
    for (std::size_t i = 0; i < FieldNames.size(); ++i) {
        // The length first: most names are told apart by it alone.
        if (field.size() == FieldNames[i].size() && sim::equalsIgnoringCase(field, FieldNames[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string obstacleName(int combination) {
    const std::array<bool, 3> flags = obstacleFlags(combination);
    const auto word = [](bool blocked) { return blocked ? "blocked" : "clear"; };
    return std::string("front=") + word(flags[0]) + " left=" + word(flags[1]) +
           " right=" + word(flags[2]);
}

void CoverageData::merge(const CoverageData& other) {
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            PairCounts& mine = pairs[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)];
            const PairCounts& theirs =
                other.pairs[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)];
            mine.hits += theirs.hits;
            for (std::size_t o = 0; o < mine.outcomes.size(); ++o) {
                mine.outcomes[o] += theirs.outcomes[o];
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
    if (transition.event == ControllerEvent::Obstacle && transition.motorMoving) {
        data_.obstaclesWhileMoving[static_cast<std::size_t>(
            obstacleCombination(transition.obstacle))] = true;
    }
}

int ReachableMachine::reachableCount() const {
    int count = 0;
    for (const auto& events : reachable) {
        count += static_cast<int>(std::count(events.begin(), events.end(), true));
    }
    return count;
}

ReachableMachine exploreMachine() {
    // Breadth first over the states that real controllers reach. A state is told apart by
    // the controller's own state and the battery level, the only values that the guards
    // and transitions read. A state is reproduced by replaying, on a new controller, the
    // steps that first reached it (controllers cannot be copied); that controller then takes
    // the steps one after the other for as long as they leave it in the same state, and a
    // step that moves it elsewhere sends the next step to a new replay.
    const std::vector<Step> steps = allSteps();
    ReachableMachine machine;
    std::set<std::pair<int, int>> visited;
    std::deque<std::vector<Step>> frontier;
    visited.insert({stateIndex(ControllerState{}), 100});
    frontier.emplace_back();
    while (!frontier.empty()) {
        const std::vector<Step> path = std::move(frontier.front());
        frontier.pop_front();
        std::optional<Controller> controller;
        LastTransition observer;
        for (const Step& step : steps) {
            if (!controller) {
                controller.emplace(manualClock);
                for (const Step& earlier : path) {
                    apply(*controller, earlier);
                }
                controller->setObserver(&observer);
            }
            observer.seen = false;
            const int levelBefore = controller->batteryLevel();
            apply(*controller, step);
            if (!observer.seen) {
                continue;
            }
            const Transition& t = observer.last;
            const auto s = static_cast<std::size_t>(stateIndex(t.before));
            const auto e = static_cast<std::size_t>(t.event);
            machine.reachable[s][e] = true;
            const int outcome = t.ignored ? Ignored : stateIndex(t.after);
            machine.outcomes[s][e][static_cast<std::size_t>(outcome)] = true;
            const std::pair<int, int> key{stateIndex(t.after), controller->batteryLevel()};
            if (visited.insert(key).second) {
                std::vector<Step> next = path;
                next.push_back(step);
                frontier.push_back(std::move(next));
            }
            if (key != std::pair<int, int>{stateIndex(t.before), levelBefore}) {
                controller.reset();  // moved on: the next step needs a new replay
            }
        }
    }
    return machine;
}

CoverageSummary summarize(const CoverageData& data, const ReachableMachine& machine) {
    CoverageSummary summary;
    for (std::size_t s = 0; s < StateCount; ++s) {
        for (std::size_t e = 0; e < EventCount; ++e) {
            if (machine.reachable[s][e]) {
                summary.reachable += 1;
                summary.covered += data.pairs[s][e].hits > 0 ? 1 : 0;
            }
        }
    }
    return summary;
}

namespace {

// The outcomes of one pair as "StandbyMode 3, ignored 1".
std::string outcomeList(const PairCounts& counts) {
    std::string text;
    for (int o = 0; o < OutcomeCount; ++o) {
        const std::uint64_t hits = counts.outcomes[static_cast<std::size_t>(o)];
        if (hits == 0) {
            continue;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += outcomeName(o);
        text += ' ';
        text += std::to_string(hits);
    }
    return text;
}

}  // namespace

void writeCoverageText(std::ostream& out, const CoverageData& data,
                       const ReachableMachine& machine) {
    constexpr std::size_t StateWidth = 27;
    constexpr std::size_t EventWidth = 21;
    std::ostringstream text;
    text << "Transition coverage (state, event: hits, outcomes seen)\n";
    std::vector<std::pair<int, int>> missed;
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            const PairCounts& counts =
                data.pairs[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)];
            const bool reachable =
                machine.reachable[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)];
            if (!reachable && counts.hits == 0) {
                continue;
            }
            if (reachable && counts.hits == 0) {
                missed.emplace_back(s, e);
            }
            text << "  " << padded(outcomeName(s), StateWidth) << padded(eventName(e), EventWidth)
                 << std::setw(8) << counts.hits;
            if (counts.hits > 0) {
                text << "  " << outcomeList(counts);
            }
            if (!reachable) {
                text << "  (not reachable by exploration)";
            }
            text << '\n';
        }
    }
    text << "Reachable but never exercised:";
    if (missed.empty()) {
        text << " none";
    }
    text << '\n';
    for (const auto& [s, e] : missed) {
        text << "  " << padded(outcomeName(s), StateWidth) << eventName(e) << '\n';
    }
    text << "Expect fields never asserted:";
    bool anyField = false;
    for (int f = 0; f < FieldCount; ++f) {
        if (!data.asserted[static_cast<std::size_t>(f)]) {
            text << (anyField ? ", " : " ") << fieldName(f);
            anyField = true;
        }
    }
    text << (anyField ? "\n" : " none\n");
    text << "Obstacle flags never sent while the motor was moving:";
    bool anyObstacle = false;
    for (int c = 0; c < 8; ++c) {
        if (!data.obstaclesWhileMoving[static_cast<std::size_t>(c)]) {
            text << "\n  " << obstacleName(c);
            anyObstacle = true;
        }
    }
    text << (anyObstacle ? "\n" : " none\n");
    const CoverageSummary summary = summarize(data, machine);
    text << "transitions covered: " << summary.covered << '/' << summary.reachable << " ("
         << summary.percent() << "%)\n";
    out << text.str();
}

void writeCoverageJson(std::ostream& out, const CoverageData& data, const ReachableMachine& machine,
                       const std::vector<std::string>& scripts) {
    const CoverageSummary summary = summarize(data, machine);
    std::ostringstream json;
    json << "{\"covered\": " << summary.covered << ", \"reachable\": " << summary.reachable
         << ", \"percent\": " << summary.percent() << ",\n \"transitions\": [";
    bool first = true;
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            const auto si = static_cast<std::size_t>(s);
            const auto ei = static_cast<std::size_t>(e);
            const PairCounts& counts = data.pairs[si][ei];
            if (!machine.reachable[si][ei] && counts.hits == 0) {
                continue;
            }
            json << (first ? "\n  " : ",\n  ") << "{\"state\": " << jsonString(outcomeName(s))
                 << ", \"event\": " << jsonString(eventName(e))
                 << ", \"reachable\": " << (machine.reachable[si][ei] ? "true" : "false")
                 << ", \"hits\": " << counts.hits << ", \"outcomes\": [";
            bool firstOutcome = true;
            for (int o = 0; o < OutcomeCount; ++o) {
                const std::uint64_t hits = counts.outcomes[static_cast<std::size_t>(o)];
                if (hits == 0) {
                    continue;
                }
                json << (firstOutcome ? "" : ", ") << "{\"outcome\": " << jsonString(outcomeName(o))
                     << ", \"hits\": " << hits << '}';
                firstOutcome = false;
            }
            json << "], \"reachable_outcomes\": [";
            firstOutcome = true;
            for (int o = 0; o < OutcomeCount; ++o) {
                if (machine.outcomes[si][ei][static_cast<std::size_t>(o)]) {
                    json << (firstOutcome ? "" : ", ") << jsonString(outcomeName(o));
                    firstOutcome = false;
                }
            }
            json << "]}";
            first = false;
        }
    }
    json << "\n ],\n \"unasserted_fields\": [";
    first = true;
    for (int f = 0; f < FieldCount; ++f) {
        if (!data.asserted[static_cast<std::size_t>(f)]) {
            json << (first ? "" : ", ") << jsonString(fieldName(f));
            first = false;
        }
    }
    json << "],\n \"obstacles_never_sent_while_moving\": [";
    first = true;
    for (int c = 0; c < 8; ++c) {
        if (!data.obstaclesWhileMoving[static_cast<std::size_t>(c)]) {
            json << (first ? "" : ", ") << jsonString(obstacleName(c));
            first = false;
        }
    }
    json << "],\n \"scripts\": [";
    first = true;
    for (const std::string& script : scripts) {
        json << (first ? "\n  " : ",\n  ") << jsonString(script);
        first = false;
    }
    json << "\n ]\n}\n";
    out << json.str();
}

void writeStateDiagram(std::ostream& out, const ReachableMachine& machine) {
    // Off and the four modes; charging is folded into the mode it happens in.
    const auto node = [](int state) -> std::string_view {
        constexpr std::array<std::string_view, 5> Nodes{"Off", "StandbyMode", "NormalMode",
                                                        "BoostMode", "LowBatteryMode"};
        return Nodes[static_cast<std::size_t>(state / 2)];
    };
    std::map<std::pair<int, int>, std::vector<int>> edges;  // (from, to) by node -> events
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            for (int o = 0; o < StateCount; ++o) {
                const auto si = static_cast<std::size_t>(s);
                const auto ei = static_cast<std::size_t>(e);
                if (!machine.outcomes[si][ei][static_cast<std::size_t>(o)] || s / 2 == o / 2) {
                    continue;
                }
                std::vector<int>& events = edges[{s / 2, o / 2}];
                if (std::find(events.begin(), events.end(), e) == events.end()) {
                    events.push_back(e);
                }
            }
        }
    }
    std::string text = "stateDiagram-v2\n    [*] --> Off\n";
    for (auto& [fromTo, events] : edges) {
        std::sort(events.begin(), events.end());
        text += "    ";
        text += node(fromTo.first * 2);
        text += " --> ";
        text += node(fromTo.second * 2);
        text += " : ";
        for (std::size_t i = 0; i < events.size(); ++i) {
            text += i == 0 ? "" : ", ";
            text += eventName(events[i]);
        }
        text += '\n';
    }
    out << text;
}

}  // namespace zelk::suite
