#pragma once

// From a coverage gap to a test: scripts that exercise every reachable outcome a suite left
// unexercised, found on the exploration of the real core. The scripts are tours: each goes
// on from where its last covered outcome left the controller while another gap lies nearer
// than from a new controller, and a new script starts where beginning again is cheaper. The
// steps to a gap are the fewest there are, battery set-ups included where a level is needed.
// After every event a script asserts what the event changed (the mode, charging and the
// battery at least), so that each is a regression test of the code it was generated from.

#include <string>
#include <vector>

#include "Coverage.hpp"
#include "Exploration.hpp"

namespace zelk::suite {

struct GeneratedScript {
    std::string name;  // "generated_001.zelk"
    std::string text;
    std::size_t events = 0;
    std::vector<OutcomeGap> covers;  // the outcomes it exercises that the suite did not
};

struct Generation {
    std::vector<GeneratedScript> scripts;
    std::size_t events = 0;        // in all scripts
    std::size_t outcomes = 0;      // the gaps they cover: the least number of events possible
    std::vector<OutcomeGap> left;  // gaps no tour could reach (none, with a sound exploration)
};

// Scripts for every outcome `data` left unexercised among `machine`'s; the same data and code
// give the same bytes.
Generation generateScripts(const CoverageData& data, const ReachableMachine& machine);

}  // namespace zelk::suite
