#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <utility>

#include "Reports.hpp"

namespace zelk::suite {

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
