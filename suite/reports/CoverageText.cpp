#include <iomanip>
#include <sstream>
#include <string>
#include <utility>

#include "Reports.hpp"

namespace zelk::suite {
namespace {

constexpr std::size_t StateWidth = 27;
constexpr std::size_t EventWidth = 21;

std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    out.append(width > out.size() ? width - out.size() : 1, ' ');
    return out;
}

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

// "K/N (P%)".
std::string fraction(int covered, int reachable, int percent) {
    return std::to_string(covered) + '/' + std::to_string(reachable) + " (" +
           std::to_string(percent) + "%)";
}

}  // namespace

void writeCoverageText(std::ostream& out, const CoverageData& data,
                       const ReachableMachine& machine) {
    std::ostringstream text;
    text << "Transition coverage (state, event: hits, outcomes seen)\n";
    std::vector<std::pair<int, int>> missed;
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            if (!listedPair(data, machine, s, e)) {
                continue;
            }
            const PairCounts& counts = data.pair(s, e);
            const bool reachable =
                machine.reachable[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)];
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
    text << "Reachable but never exercised:" << (missed.empty() ? " none\n" : "\n");
    for (const auto& [s, e] : missed) {
        text << "  " << padded(outcomeName(s), StateWidth) << eventName(e) << '\n';
    }
    const std::vector<OutcomeGap> gaps = unexercisedOutcomes(data, machine);
    text << "Outcomes never exercised:" << (gaps.empty() ? " none\n" : "\n");
    for (const OutcomeGap& gap : gaps) {
        text << "  " << padded(outcomeName(gap.state), StateWidth)
             << padded(eventName(gap.event), EventWidth) << "-> " << outcomeName(gap.outcome)
             << '\n';
    }
    text << "Expect fields never asserted:";
    const std::vector<int> fields = unassertedFields(data);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text << (i == 0 ? " " : ", ") << fieldName(fields[i]);
    }
    text << (fields.empty() ? " none\n" : "\n");
    text << "Obstacle flags never sent while the motor was moving:";
    const std::vector<int> obstacles = obstaclesNeverSentWhileMoving(data);
    for (const int c : obstacles) {
        text << "\n  " << obstacleName(c);
    }
    text << (obstacles.empty() ? " none\n" : "\n");
    const CoverageSummary summary = summarize(data, machine);
    text << "transitions covered: "
         << fraction(summary.covered, summary.reachable, summary.percent()) << '\n';
    text << "outcomes covered: "
         << fraction(summary.outcomesCovered, summary.outcomesReachable, summary.outcomePercent())
         << '\n';
    out << text.str();
}

}  // namespace zelk::suite
