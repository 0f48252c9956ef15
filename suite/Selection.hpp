#pragma once

// Which of a suite's scripts a run takes: the filters and exclusions of the command line,
// and the record of the scripts that did not pass last time (--last-failed), kept as pytest
// keeps its cache, in a folder under the current directory.

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::suite {

// Whether `path` matches `pattern`: contains it, or, when the pattern holds *, ? or [, matches
// it whole as a glob (in which * and ? also match '/').
bool matchesPattern(std::string_view path, const std::string& pattern);

// Whether a script at `path` runs: some filter matches it (or there is none), and no
// exclusion does.
bool selected(std::string_view path, const std::vector<std::string>& filters,
              const std::vector<std::string>& excludes);

// The record of the last run: the paths that did not pass.
struct LastFailed {
    bool found = false;  // false: no record (none yet, or unreadable)
    std::set<std::string> paths;
};

// Reads the record in `cacheDir`; a record that cannot be read or parsed counts as none,
// with the reason in `warning`.
LastFailed readLastFailed(const std::string& cacheDir, std::string& warning);
// Writes the record, through a temporary file renamed into place. False, with the reason in
// `error`, when it cannot be written.
bool writeLastFailed(const std::string& cacheDir, const std::set<std::string>& paths,
                     std::string& error);

// Where the record is kept in `cacheDir`.
std::string lastFailedPath(const std::string& cacheDir);

}  // namespace zelk::suite
