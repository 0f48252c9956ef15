#include <sstream>

#include "Reports.hpp"

namespace zelk::suite {
namespace {

// Markdown table cells hold no '|' or line break of their own.
std::string cell(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        if (ch == '|') {
            out += "\\|";
        } else if (ch == '\n' || ch == '\r') {
            out += ' ';
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace

void writeCoverageMarkdown(std::ostream& out, const CoverageData& data,
                           const ReachableMachine& machine) {
    const CoverageSummary summary = summarize(data, machine);
    std::ostringstream md;
    md << "## State-machine coverage\n\n"
       << "| | covered | reachable | |\n|---|---:|---:|---:|\n"
       << "| transitions (state, event) | " << summary.covered << " | " << summary.reachable
       << " | " << summary.percent() << " % |\n"
       << "| outcomes | " << summary.outcomesCovered << " | " << summary.outcomesReachable << " | "
       << summary.outcomePercent() << " % |\n\n";

    // The changes of state, green where every cause was exercised, orange where some were,
    // red where none was.
    md << "```mermaid\nflowchart TD\n";
    for (const int state : diagramStates(machine)) {
        md << "    S" << state << "([\"" << outcomeName(state) << "\"])\n";
    }
    const std::vector<DiagramEdge> edges = diagramEdges(data, machine);
    for (const DiagramEdge& edge : edges) {
        md << "    S" << edge.from << " -->|\"";
        for (std::size_t i = 0; i < edge.causes.size(); ++i) {
            md << (i == 0 ? "" : "<br/>") << eventName(edge.causes[i].event) << " ("
               << edge.causes[i].hits << ")";
        }
        md << "\"| S" << edge.to << "\n";
    }
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const std::string_view colour = edges[i].colour();
        md << "    linkStyle " << i << " stroke:" << colour << ",stroke-width:2px"
           << (edges[i].exercised() ? "" : ",stroke-dasharray:5 5") << "\n";
    }
    md << "```\n\nGreen: exercised by every event that causes it; orange: by some; red, dashed: "
          "never. In brackets: how often.\n\n";

    md << "### Gaps\n\n";
    bool anyPair = false;
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            if (machine.reachable[static_cast<std::size_t>(s)][static_cast<std::size_t>(e)] &&
                data.pair(s, e).hits == 0) {
                md << (anyPair ? "" : "Transitions never exercised:\n\n") << "- " << outcomeName(s)
                   << ", " << eventName(e) << "\n";
                anyPair = true;
            }
        }
    }
    md << (anyPair ? "\n" : "Transitions never exercised: none\n\n");
    const std::vector<OutcomeGap> gaps = unexercisedOutcomes(data, machine);
    md << "Outcomes never exercised:" << (gaps.empty() ? " none\n\n" : "\n\n");
    if (!gaps.empty()) {
        md << "| state | event | outcome |\n|---|---|---|\n";
        for (const OutcomeGap& gap : gaps) {
            md << "| " << cell(outcomeName(gap.state)) << " | " << cell(eventName(gap.event))
               << " | " << cell(outcomeName(gap.outcome)) << " |\n";
        }
        md << "\n";
    }
    md << "Expect fields never asserted:";
    const std::vector<int> fields = unassertedFields(data);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        md << (i == 0 ? " `" : ", `") << fieldName(fields[i]) << '`';
    }
    md << (fields.empty() ? " none\n\n" : "\n\n");
    md << "Obstacle flags never sent while the motor was moving:";
    const std::vector<int> obstacles = obstaclesNeverSentWhileMoving(data);
    for (std::size_t i = 0; i < obstacles.size(); ++i) {
        md << (i == 0 ? " `" : ", `") << obstacleName(obstacles[i]) << '`';
    }
    md << (obstacles.empty() ? " none\n" : "\n");
    out << md.str();
}

}  // namespace zelk::suite
