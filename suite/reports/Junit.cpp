#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

#include "Escape.hpp"
#include "Reports.hpp"

namespace zelk::suite {
namespace {

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

}  // namespace

std::string junitClassName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    std::string folder(slash == std::string_view::npos ? std::string_view()
                                                       : path.substr(0, slash));
    // "./a/b" and "/a/b" name the folder a.b; a script in the current folder gets ".".
    while (folder.starts_with("./")) {
        folder.erase(0, 2);
    }
    folder.erase(0, folder.find_first_not_of('/'));
    std::replace(folder.begin(), folder.end(), '/', '.');
    return folder.empty() ? "." : folder;
}

void writeJunit(std::ostream& out, const std::vector<ScriptResult>& results,
                const std::vector<DiscoveryError>& errors, std::size_t failed,
                std::size_t skipped) {
    double total = 0;
    for (const ScriptResult& result : results) {
        total += result.time.count();
    }
    std::ostringstream xml;
    const std::size_t tests = results.size() + errors.size();
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites name=\"zelk_suite\" tests=\"" << tests << "\" failures=\"" << failed
        << "\" errors=\"0\" time=\"" << formatSeconds(total) << "\">\n"
        << "  <testsuite name=\"zelk_suite\" tests=\"" << tests << "\" failures=\"" << failed
        << "\" errors=\"0\" skipped=\"" << skipped << "\" time=\"" << formatSeconds(total)
        << "\">\n";
    for (const DiscoveryError& error : errors) {
        xml << "    <testcase classname=\"" << xmlAttribute(junitClassName(error.path))
            << "\" name=\"" << xmlAttribute(error.path) << "\" file=\"" << xmlAttribute(error.path)
            << "\" time=\"0\">\n"
            << "      <failure message=\"" << xmlAttribute(error.reason) << "\"/>\n"
            << "    </testcase>\n";
    }
    for (const ScriptResult& result : results) {
        xml << "    <testcase classname=\"" << xmlAttribute(junitClassName(result.path))
            << "\" name=\"" << xmlAttribute(result.path) << "\" file=\""
            << xmlAttribute(result.path) << "\" time=\"" << formatSeconds(result.time.count())
            << "\"";
        if (result.skipped) {
            xml << ">\n      <skipped message=\"not started: an earlier script did not pass\"/>\n"
                << "    </testcase>\n";
            continue;
        }
        if (result.passed) {
            xml << "/>\n";
            continue;
        }
        std::string body = problemLines(result);
        for (const std::string& line : result.snapshotDiff) {
            body += line + "\n";
        }
        xml << ">\n      <failure message=\"" << xmlAttribute(failureSummary(result)) << "\">"
            << xmlText(body) << "</failure>\n    </testcase>\n";
    }
    xml << "  </testsuite>\n</testsuites>\n";
    out << xml.str();
}

}  // namespace zelk::suite
