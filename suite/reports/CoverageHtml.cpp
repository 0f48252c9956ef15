#include <sstream>
#include <string>

#include "Escape.hpp"
#include "Graphviz.hpp"
#include "Reports.hpp"

namespace zelk::suite {
namespace {

// How many of the scripts that exercised a pair the table names.
constexpr std::size_t ScriptsShown = 3;

std::string html(std::string_view text) { return xmlText(text); }

// Text for inside a DOT quoted string: its quotes and backslashes escaped.
std::string dotEscaped(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
        }
        out += ch;
    }
    return out;
}

// The state machine in the DOT language: each change of state a new controller can reach,
// labelled with the events that cause it and their hits, coloured by coverage.
std::string diagramDot(const CoverageData& data, const ReachableMachine& machine) {
    std::string dot =
        "digraph coverage {\n"
        "  rankdir=TB; nodesep=0.6; bgcolor=transparent; fontname=Helvetica;\n"
        "  node [shape=box, style=rounded, fontname=Helvetica];\n"
        "  edge [fontname=Helvetica, fontsize=10];\n";
    for (const int state : diagramStates(machine)) {
        dot += "  S" + std::to_string(state) + " [label=\"" + dotEscaped(outcomeName(state)) +
               "\"];\n";
    }
    for (const DiagramEdge& edge : diagramEdges(data, machine)) {
        std::string label;
        for (const DiagramEdge::Cause& cause : edge.causes) {
            // Each cause on a line of its own: "\n" in a DOT label is a line break.
            label +=
                dotEscaped(eventName(cause.event)) + " (" + std::to_string(cause.hits) + ")\\n";
        }
        const std::string_view colour = edge.colour();
        dot += "  S" + std::to_string(edge.from) + " -> S" + std::to_string(edge.to) +
               " [label=\"" + label + "\", color=\"" + std::string(colour) + "\", fontcolor=\"" +
               std::string(colour) + "\", penwidth=" + (edge.exercised() ? "2" : "1.5") +
               (edge.exercised() ? "" : ", style=dashed") + "];\n";
    }
    return dot + "}\n";
}

// The state machine as an SVG drawing laid out by Graphviz's dot, or a note saying why it
// could not be.
std::string diagramSvg(const CoverageData& data, const ReachableMachine& machine) {
    std::string error;
    const std::string svg = layoutSvg(diagramDot(data, machine), error);
    if (svg.empty()) {
        return "<p>The diagram could not be drawn: " + html(error) + ".</p>";
    }
    // Inline in the page: the drawing without its XML declaration and document type.
    const std::size_t start = svg.find("<svg");
    return start == std::string::npos ? svg : svg.substr(start);
}

std::string scriptList(const Credit& credit, const std::vector<std::string>& scripts) {
    std::string list;
    for (std::size_t i = 0; i < credit.size() && i < ScriptsShown; ++i) {
        const std::uint32_t script = credit[i];
        list += (i == 0 ? "" : "<br>") +
                (script < scripts.size() ? html(scripts[script]) : std::string("?"));
    }
    if (credit.size() > ScriptsShown) {
        list += "<br><span class=\"more\">and " + std::to_string(credit.size() - ScriptsShown) +
                " more</span>";
    }
    return list;
}

}  // namespace

void writeCoverageHtml(std::ostream& out, const CoverageData& data, const ReachableMachine& machine,
                       const std::vector<std::string>& scripts) {
    const CoverageSummary summary = summarize(data, machine);
    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<title>zelk_suite coverage: " << summary.covered << "/" << summary.reachable
         << " transitions, " << summary.outcomesCovered << "/" << summary.outcomesReachable
         << " outcomes</title>\n<style>\n"
         << "body { font-family: Helvetica, Arial, sans-serif; margin: 2em; color: #212121; }\n"
         << "table { border-collapse: collapse; margin: 1em 0; }\n"
         << "th, td { border: 1px solid #bdbdbd; padding: 0.25em 0.6em; text-align: left; "
            "vertical-align: top; font-size: 0.9em; }\n"
         << "th { background: #eeeeee; }\n"
         << "td.number { text-align: right; }\n"
         << ".hit { color: " << ExercisedColour << "; }\n"
         << ".missed { color: " << NeverColour << "; font-weight: bold; }\n"
         << ".more { color: #757575; }\n"
         << ".diagram svg { max-width: 100%; height: auto; }\n"
         << "</style>\n</head>\n<body>\n"
         << "<h1>State-machine coverage</h1>\n"
         << "<table>\n<tr><th></th><th>covered</th><th>reachable</th><th></th></tr>\n"
         << "<tr><td>transitions (state, event)</td><td class=\"number\">" << summary.covered
         << "</td><td class=\"number\">" << summary.reachable << "</td><td class=\"number\">"
         << summary.percent() << " %</td></tr>\n"
         << "<tr><td>outcomes</td><td class=\"number\">" << summary.outcomesCovered
         << "</td><td class=\"number\">" << summary.outcomesReachable
         << "</td><td class=\"number\">" << summary.outcomePercent() << " %</td></tr>\n"
         << "</table>\n"
         << "<h2>The state machine</h2>\n"
         << "<p>Each change of state a new controller can reach, labelled with the events that "
            "cause it and how often the suite sent each: <span class=\"hit\">green</span> where "
            "every one was exercised, <span style=\"color: "
         << PartlyColour
         << "\">orange</span> where some were, <span class=\"missed\">red, "
            "dashed</span> where none was.</p>\n"
         << "<div class=\"diagram\">\n"
         << diagramSvg(data, machine) << "\n</div>\n";

    page << "<h2>Pairs and outcomes</h2>\n<table>\n<tr><th>state</th><th>event</th><th>hits</th>"
            "<th>outcomes seen</th><th>never seen</th><th>first scripts</th></tr>\n";
    for (int s = 0; s < StateCount; ++s) {
        for (int e = 0; e < EventCount; ++e) {
            const auto si = static_cast<std::size_t>(s);
            const auto ei = static_cast<std::size_t>(e);
            if (!listedPair(data, machine, s, e)) {
                continue;
            }
            const PairCounts& counts = data.pair(s, e);
            std::string seen;
            std::string missed;
            for (int o = 0; o < OutcomeCount; ++o) {
                const auto oi = static_cast<std::size_t>(o);
                if (counts.outcomes[oi] > 0) {
                    seen += (seen.empty() ? "" : "<br>") + html(outcomeName(o)) + " " +
                            std::to_string(counts.outcomes[oi]);
                } else if (machine.outcomes[si][ei][oi]) {
                    missed += (missed.empty() ? "" : "<br>") + html(outcomeName(o));
                }
            }
            page << "<tr><td>" << html(outcomeName(s)) << "</td><td>" << html(eventName(e))
                 << "</td><td class=\"number" << (counts.hits == 0 ? " missed" : "") << "\">"
                 << counts.hits << "</td><td>" << seen << "</td><td class=\"missed\">" << missed
                 << "</td><td>" << scriptList(data.pairCredit(s, e), scripts) << "</td></tr>\n";
        }
    }
    page << "</table>\n<h2>Never asserted, never sent</h2>\n<p>Expect fields never asserted:";
    const std::vector<int> fields = unassertedFields(data);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        page << (i == 0 ? " " : ", ") << "<code>" << html(fieldName(fields[i])) << "</code>";
    }
    page << (fields.empty() ? " none" : "") << "</p>\n"
         << "<p>Obstacle flags never sent while the motor was moving:";
    const std::vector<int> obstacles = obstaclesNeverSentWhileMoving(data);
    for (std::size_t i = 0; i < obstacles.size(); ++i) {
        page << (i == 0 ? " " : ", ") << "<code>" << html(obstacleName(obstacles[i])) << "</code>";
    }
    page << (obstacles.empty() ? " none" : "") << "</p>\n<p class=\"more\">" << scripts.size()
         << " scripts.</p>\n</body>\n</html>\n";
    out << page.str();
}

}  // namespace zelk::suite
