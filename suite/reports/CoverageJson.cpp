#include <nlohmann/json.hpp>

#include "Reports.hpp"

namespace zelk::suite {

void writeCoverageJson(std::ostream& out, const CoverageData& data, const ReachableMachine& machine,
                       const std::vector<std::string>& scripts) {
    using Json = nlohmann::ordered_json;
    const CoverageSummary summary = summarize(data, machine);
    Json json;
    json["covered"] = summary.covered;
    json["reachable"] = summary.reachable;
    json["percent"] = summary.percent();
    json["outcomes_covered"] = summary.outcomesCovered;
    json["outcomes_reachable"] = summary.outcomesReachable;
    json["outcomes_percent"] = summary.outcomePercent();
    Json transitions = Json::array();
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            const auto si = static_cast<std::size_t>(s);
            const auto ei = static_cast<std::size_t>(e);
            const PairCounts& counts = data.pair(s, e);
            if (!machine.reachable[si][ei] && counts.hits == 0) {
                continue;
            }
            Json outcomes = Json::array();
            Json reachableOutcomes = Json::array();
            for (int o = 0; o < OutcomeCount; ++o) {
                const auto oi = static_cast<std::size_t>(o);
                if (counts.outcomes[oi] > 0) {
                    outcomes.push_back(
                        {{"outcome", outcomeName(o)}, {"hits", counts.outcomes[oi]}});
                }
                if (machine.outcomes[si][ei][oi]) {
                    reachableOutcomes.push_back(outcomeName(o));
                }
            }
            transitions.push_back({{"state", outcomeName(s)},
                                   {"event", eventName(e)},
                                   {"reachable", machine.reachable[si][ei]},
                                   {"hits", counts.hits},
                                   {"outcomes", std::move(outcomes)},
                                   {"reachable_outcomes", std::move(reachableOutcomes)}});
        }
    }
    json["transitions"] = std::move(transitions);
    Json gaps = Json::array();
    for (const OutcomeGap& gap : unexercisedOutcomes(data, machine)) {
        gaps.push_back({{"state", outcomeName(gap.state)},
                        {"event", eventName(gap.event)},
                        {"outcome", outcomeName(gap.outcome)}});
    }
    json["unexercised_outcomes"] = std::move(gaps);
    Json fields = Json::array();
    for (int f = 0; f < FieldCount; ++f) {
        if (!data.asserted[static_cast<std::size_t>(f)]) {
            fields.push_back(fieldName(f));
        }
    }
    json["unasserted_fields"] = std::move(fields);
    Json obstacles = Json::array();
    for (int c = 0; c < ObstacleCombinations; ++c) {
        if (!data.obstaclesWhileMoving[static_cast<std::size_t>(c)]) {
            obstacles.push_back(obstacleName(c));
        }
    }
    json["obstacles_never_sent_while_moving"] = std::move(obstacles);
    json["scripts"] = scripts;
    // Script paths are user data: bytes that are not UTF-8 become U+FFFD.
    out << json.dump(1, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace zelk::suite
