#include <algorithm>
#include <map>

#include "Reports.hpp"

namespace zelk::suite {

std::uint64_t DiagramEdge::hits() const {
    std::uint64_t total = 0;
    for (const Cause& cause : causes) {
        total += cause.hits;
    }
    return total;
}

bool DiagramEdge::fullyExercised() const {
    return std::all_of(causes.begin(), causes.end(), [](const Cause& c) { return c.hits > 0; });
}

std::vector<int> diagramStates(const ReachableMachine& machine) {
    std::vector<int> states;
    for (int s = 0; s < StateCount; ++s) {
        const auto& events = machine.reachable[static_cast<std::size_t>(s)];
        if (std::find(events.begin(), events.end(), true) != events.end()) {
            states.push_back(s);
        }
    }
    return states;
}

std::vector<DiagramEdge> diagramEdges(const CoverageData& data, const ReachableMachine& machine) {
    std::map<std::pair<int, int>, DiagramEdge> edges;
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            for (int o = 0; o < StateCount; ++o) {
                const auto si = static_cast<std::size_t>(s);
                const auto ei = static_cast<std::size_t>(e);
                const auto oi = static_cast<std::size_t>(o);
                if (o == s || !machine.outcomes[si][ei][oi]) {
                    continue;
                }
                DiagramEdge& edge = edges[{s, o}];
                edge.from = s;
                edge.to = o;
                edge.causes.push_back({e, data.pairs[si][ei].outcomes[oi]});
            }
        }
    }
    std::vector<DiagramEdge> list;
    list.reserve(edges.size());
    for (auto& [fromTo, edge] : edges) {
        list.push_back(std::move(edge));
    }
    return list;
}

}  // namespace zelk::suite
