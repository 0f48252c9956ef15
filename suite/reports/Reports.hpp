#pragma once

// The suite's reports: one renderer per format, each in its own file, over one model (the
// suite's results, CoverageData and the explored ReachableMachine).

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "Coverage.hpp"
#include "Exploration.hpp"
#include "Script.hpp"

namespace zelk::suite {

// ---- Problem lines (ProblemLines.cpp)

// "PATH:LINE: TEXT", which editors and CI annotators jump to.
std::string problemLine(std::string_view path, const Problem& problem);
// The problem lines of a script, each ended by a line feed, then "... and K more" for those
// not kept.
std::string problemLines(const ScriptResult& result);
// Why a script did not pass, in one line.
std::string failureSummary(const ScriptResult& result);

// ---- Coverage (CoverageText.cpp, CoverageJson.cpp, StateDiagram.cpp)

// The text report; its last two lines are "transitions covered: K/N (P%)" and
// "outcomes covered: K/N (P%)".
void writeCoverageText(std::ostream& out, const CoverageData& data,
                       const ReachableMachine& machine);
// The same as one JSON object; `scripts` are the paths of the scripts that ran.
void writeCoverageJson(std::ostream& out, const CoverageData& data, const ReachableMachine& machine,
                       const std::vector<std::string>& scripts);
// ---- Pictures of the coverage (CoverageDiagram.cpp, CoverageHtml.cpp, CoverageMarkdown.cpp)

// The colours of the pictures: exercised by every cause, by some, by none.
inline constexpr std::string_view ExercisedColour = "#2e7d32";
inline constexpr std::string_view PartlyColour = "#ef6c00";
inline constexpr std::string_view NeverColour = "#c62828";

// A change of state that some event can cause, with how often the suite caused it by each.
struct DiagramEdge {
    int from = 0;  // state indexes
    int to = 0;
    struct Cause {
        int event = 0;
        std::uint64_t hits = 0;
    };
    std::vector<Cause> causes;  // in event order
    std::uint64_t hits() const;
    bool exercised() const { return hits() > 0; }  // by some cause
    bool fullyExercised() const;                   // by every cause
    std::string_view colour() const {
        return fullyExercised() ? ExercisedColour : exercised() ? PartlyColour : NeverColour;
    }
};
// The states a new controller can reach, in index order.
std::vector<int> diagramStates(const ReachableMachine& machine);
// Every reachable outcome that changes the state (self-loops and ignored events are in the
// tables, not the picture), one edge per pair of states.
std::vector<DiagramEdge> diagramEdges(const CoverageData& data, const ReachableMachine& machine);

// A self-contained page (no script, nothing loaded from the network): the state machine as
// an SVG laid out by Graphviz, each transition coloured by whether it was exercised and
// labelled with its hits; the figures; the table of pairs and outcomes with the first few
// scripts of each; the fields never asserted and the obstacle flags never sent while moving.
// `scripts` are the paths the credit indexes.
void writeCoverageHtml(std::ostream& out, const CoverageData& data, const ReachableMachine& machine,
                       const std::vector<std::string>& scripts);
// A Markdown summary for CI job pages: the figures, the gaps, and a Mermaid flowchart whose
// edges are coloured by coverage.
void writeCoverageMarkdown(std::ostream& out, const CoverageData& data,
                           const ReachableMachine& machine);

// A coverage report read back: what its scripts exercised, and the scripts.
struct CoverageFile {
    CoverageData data;  // its credit indexes `scripts`
    std::vector<std::string> scripts;
};
// Reads a report that writeCoverageJson wrote, checking that it was measured against
// `machine`'s reachable set. False, with the reason in `error`, for anything else.
bool readCoverageJson(const std::string& path, const ReachableMachine& machine, CoverageFile& read,
                      std::string& error);

// A Mermaid stateDiagram-v2 of Off and the four modes, one edge per change of mode,
// labelled with the events that cause it; guarded events and self-loops are left out.
void writeStateDiagram(std::ostream& out, const ReachableMachine& machine);

// ---- JUnit XML (Junit.cpp)

// One testcase per script with its time, grouped by folder (its classname), a failure for
// each that did not pass and a skipped mark for each never started; a path that is no
// script is a failed testcase too.
void writeJunit(std::ostream& out, const std::vector<ScriptResult>& results,
                const std::vector<DiscoveryError>& errors, std::size_t failed,
                std::size_t skipped = 0);
// The JUnit classname of a script: its folder, with dots for slashes ("system_tests.tc").
std::string junitClassName(std::string_view path);

}  // namespace zelk::suite
