#include <filesystem>
#include <fstream>
#include <new>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "Reports.hpp"

namespace zelk::suite {
namespace {

using Json = nlohmann::ordered_json;

// Marks the JSON as this report's, for --merge-coverage.
constexpr std::string_view Format = "zelk_suite coverage 1";
// A report is read whole: a suite of a million scripts writes about 300 MB. What is larger,
// or not a regular file (a FIFO, a device), is not read at all.
constexpr std::uintmax_t MaxReportBytes = std::uintmax_t{1} << 30;

int indexOf(std::string_view name, int count, std::string_view (*nameOf)(int)) {
    for (int i = 0; i < count; ++i) {
        if (nameOf(i) == name) {
            return i;
        }
    }
    return -1;
}

}  // namespace

void writeCoverageJson(std::ostream& out, const CoverageData& data, const ReachableMachine& machine,
                       const std::vector<std::string>& scripts) {
    const CoverageSummary summary = summarize(data, machine);
    Json json;
    json["format"] = Format;
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
            if (!listedPair(data, machine, s, e)) {
                continue;
            }
            const PairCounts& counts = data.pair(s, e);
            Json outcomes = Json::array();
            Json reachableOutcomes = Json::array();
            for (int o = 0; o < OutcomeCount; ++o) {
                const auto oi = static_cast<std::size_t>(o);
                if (counts.outcomes[oi] > 0) {
                    outcomes.push_back({{"outcome", outcomeName(o)},
                                        {"hits", counts.outcomes[oi]},
                                        {"scripts", data.credit[si][ei][oi]}});
                }
                if (machine.outcomes[si][ei][oi]) {
                    reachableOutcomes.push_back(outcomeName(o));
                }
            }
            transitions.push_back({{"state", outcomeName(s)},
                                   {"event", eventName(e)},
                                   {"reachable", machine.reachable[si][ei]},
                                   {"hits", counts.hits},
                                   {"scripts", data.pairCredit(s, e)},
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
    for (const int f : unassertedFields(data)) {
        fields.push_back(fieldName(f));
    }
    json["unasserted_fields"] = std::move(fields);
    Json obstacles = Json::array();
    for (const int c : obstaclesNeverSentWhileMoving(data)) {
        obstacles.push_back(obstacleName(c));
    }
    json["obstacles_never_sent_while_moving"] = std::move(obstacles);
    json["scripts"] = scripts;
    // Script paths are user data: bytes that are not UTF-8 become U+FFFD.
    out << json.dump(1, ' ', false, Json::error_handler_t::replace) << '\n';
}

bool readCoverageJson(const std::string& path, const ReachableMachine& machine, CoverageFile& read,
                      std::string& error) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = "not a regular file";
        return false;
    }
    if (const std::uintmax_t size = std::filesystem::file_size(path, ec);
        !ec && size > MaxReportBytes) {
        error = "larger than the 1 GiB a coverage report may be";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read it";
        return false;
    }
    Json json;
    try {
        std::ostringstream text;
        text << in.rdbuf();
        json = Json::parse(text.str(), nullptr, false);
    } catch (const std::bad_alloc&) {
        error = "too large to read in the memory this process may have";
        return false;
    }
    if (json.is_discarded() || !json.is_object() || !json.contains("format") ||
        json["format"] != Format) {
        error = "not a coverage report of zelk_suite's (--coverage-json)";
        return false;
    }
    try {
        read = CoverageFile{};
        read.scripts = json.at("scripts").get<std::vector<std::string>>();
        // The reachable set it was measured against, pair by pair, must be this build's.
        std::set<std::pair<int, int>> listed;
        for (const Json& t : json.at("transitions")) {
            const int s = indexOf(t.at("state").get<std::string>(), StateCount, outcomeName);
            const int e = indexOf(t.at("event").get<std::string>(), EventCount, eventName);
            if (s < 0 || e < 0) {
                error = "it names a state or event this build does not know";
                return false;
            }
            const auto si = static_cast<std::size_t>(s);
            const auto ei = static_cast<std::size_t>(e);
            std::array<bool, OutcomeCount> reachableOutcomes{};
            for (const Json& name : t.at("reachable_outcomes")) {
                const int o = indexOf(name.get<std::string>(), OutcomeCount, outcomeName);
                if (o < 0) {
                    error = "it names an outcome this build does not know";
                    return false;
                }
                reachableOutcomes[static_cast<std::size_t>(o)] = true;
            }
            if (t.at("reachable").get<bool>() != machine.reachable[si][ei] ||
                reachableOutcomes != machine.outcomes[si][ei]) {
                error =
                    "it was measured against another reachable set (another build's "
                    "exploration): " +
                    std::string(outcomeName(s)) + ", " + std::string(eventName(e)) + " differs";
                return false;
            }
            listed.emplace(s, e);
            PairCounts& counts = read.data.pairs[si][ei];
            counts.hits = t.at("hits").get<std::uint64_t>();
            for (const Json& outcome : t.at("outcomes")) {
                const int o =
                    indexOf(outcome.at("outcome").get<std::string>(), OutcomeCount, outcomeName);
                if (o < 0) {
                    error = "it names an outcome this build does not know";
                    return false;
                }
                const auto oi = static_cast<std::size_t>(o);
                counts.outcomes[oi] = outcome.at("hits").get<std::uint64_t>();
                read.data.credit[si][ei][oi] = outcome.at("scripts").get<Credit>();
                for (const std::uint32_t script : read.data.credit[si][ei][oi]) {
                    if (script >= read.scripts.size()) {
                        error = "a script index is past its list of scripts";
                        return false;
                    }
                }
            }
        }
        for (int s = 0; s < StateCount; ++s) {
            for (int e = 0; e < EventCount; ++e) {
                if (machine.reachable[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)] &&
                    !listed.contains({s, e})) {
                    error =
                        "it was measured against another reachable set (another build's "
                        "exploration): it lacks " +
                        std::string(outcomeName(s)) + ", " + std::string(eventName(e));
                    return false;
                }
            }
        }
        read.data.asserted.fill(true);
        for (const Json& field : json.at("unasserted_fields")) {
            const int f = fieldIndex(field.get<std::string>());
            if (f >= 0) {
                read.data.asserted[static_cast<std::size_t>(f)] = false;
            }
        }
        read.data.obstaclesWhileMoving.fill(true);
        for (const Json& name : json.at("obstacles_never_sent_while_moving")) {
            for (int c = 0; c < ObstacleCombinations; ++c) {
                if (obstacleName(c) == name.get<std::string>()) {
                    read.data.obstaclesWhileMoving[static_cast<std::size_t>(c)] = false;
                }
            }
        }
    } catch (const Json::exception& failure) {
        error = std::string("not a coverage report of zelk_suite's: ") + failure.what();
        return false;
    }
    return true;
}

}  // namespace zelk::suite
