#include "Selection.hpp"

#include <filesystem>
#include <fnmatch.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

#include "AtomicFile.hpp"

namespace zelk::suite {

bool matchesPattern(std::string_view path, const std::string& pattern) {
    if (pattern.find_first_of("*?[") == std::string::npos) {
        return path.find(pattern) != std::string_view::npos;
    }
    return ::fnmatch(pattern.c_str(), std::string(path).c_str(), 0) == 0;
}

bool selected(std::string_view path, const std::vector<std::string>& filters,
              const std::vector<std::string>& excludes) {
    bool chosen = filters.empty();
    for (const std::string& filter : filters) {
        chosen = chosen || matchesPattern(path, filter);
    }
    for (const std::string& exclude : excludes) {
        chosen = chosen && !matchesPattern(path, exclude);
    }
    return chosen;
}

std::string lastFailedPath(const std::string& cacheDir) {
    return (std::filesystem::path(cacheDir) / "last-failed").string();
}

LastFailed readLastFailed(const std::string& cacheDir, std::string& warning) {
    LastFailed record;
    const std::string path = lastFailedPath(cacheDir);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return record;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const nlohmann::json json = nlohmann::json::parse(text.str(), nullptr, false);
    if (!in || json.is_discarded() || !json.is_array()) {
        warning = path + " is not a record of zelk_suite's: every script runs";
        return record;
    }
    for (const nlohmann::json& entry : json) {
        if (entry.is_string()) {
            record.paths.insert(entry.get<std::string>());
        }
    }
    record.found = true;
    return record;
}

bool writeLastFailed(const std::string& cacheDir, const std::set<std::string>& paths,
                     std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(cacheDir, ec);
    if (ec) {
        error = cacheDir + ": " + ec.message();
        return false;
    }
    const nlohmann::json json(paths);
    // Paths are user data: bytes that are not UTF-8 become U+FFFD, as in the other reports.
    const std::string text =
        json.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return writeFileAtomically(lastFailedPath(cacheDir), text, error);
}

}  // namespace zelk::suite
