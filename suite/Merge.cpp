#include "Merge.hpp"

#include <algorithm>
#include <map>

namespace zelk::suite {

bool mergeCoverageFiles(const std::vector<std::string>& paths, const ReachableMachine& machine,
                        CoverageFile& merged, std::string& error) {
    std::vector<CoverageFile> files(paths.size());
    std::map<std::string, std::string> countedBy;  // script -> the file that counted it
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::string why;
        if (!readCoverageJson(paths[i], machine, files[i], why)) {
            error = paths[i] + ": " + why;
            return false;
        }
        for (const std::string& script : files[i].scripts) {
            const auto [it, added] = countedBy.emplace(script, paths[i]);
            if (!added) {
                error = "the script " + script + " is counted by both " + it->second + " and " +
                        paths[i] + " (overlapping shards)";
                return false;
            }
        }
    }
    // The scripts in the order one run would list them: sorted by path.
    merged = CoverageFile{};
    merged.data.asserted.fill(false);
    merged.data.obstaclesWhileMoving.fill(false);
    for (const auto& [script, file] : countedBy) {
        merged.scripts.push_back(script);
    }
    for (CoverageFile& file : files) {
        std::vector<std::uint32_t> renumbered(file.scripts.size());
        for (std::size_t i = 0; i < file.scripts.size(); ++i) {
            renumbered[i] = static_cast<std::uint32_t>(
                std::lower_bound(merged.scripts.begin(), merged.scripts.end(), file.scripts[i]) -
                merged.scripts.begin());
        }
        for (auto& events : file.data.credit) {
            for (auto& outcomes : events) {
                for (Credit& credit : outcomes) {
                    for (std::uint32_t& script : credit) {
                        script = renumbered[script];
                    }
                    std::sort(credit.begin(), credit.end());
                }
            }
        }
        merged.data.merge(file.data);
    }
    return true;
}

}  // namespace zelk::suite
