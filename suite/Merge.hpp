#pragma once

// One coverage from the coverage reports of shard runs (--shard K/N --coverage-json F),
// equal, count for count, to what one run over all their scripts measures: a CI job matrix
// spreads a suite over many machines and still gates on one figure.

#include <string>
#include <vector>

#include "Exploration.hpp"
#include "reports/Reports.hpp"

namespace zelk::suite {

// Merges the reports at `paths` into `merged` (its scripts sorted, its credit indexing them).
// False, with the reason in `error`, for a file that is not such a report, one measured
// against another reachable set than `machine`'s, or a script that two files both counted
// (overlapping shards).
bool mergeCoverageFiles(const std::vector<std::string>& paths, const ReachableMachine& machine,
                        CoverageFile& merged, std::string& error);

}  // namespace zelk::suite
