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

void writeJunit(std::ostream& out, const std::vector<ScriptResult>& results,
                const std::vector<DiscoveryError>& errors, std::size_t failed) {
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
        << "\" errors=\"0\" skipped=\"0\" time=\"" << formatSeconds(total) << "\">\n";
    for (const DiscoveryError& error : errors) {
        xml << "    <testcase classname=\"zelk_suite\" name=\"" << xmlAttribute(error.path)
            << "\" file=\"" << xmlAttribute(error.path) << "\" time=\"0\">\n"
            << "      <failure message=\"" << xmlAttribute(error.reason) << "\"/>\n"
            << "    </testcase>\n";
    }
    for (const ScriptResult& result : results) {
        xml << "    <testcase classname=\"zelk_suite\" name=\"" << xmlAttribute(result.path)
            << "\" file=\"" << xmlAttribute(result.path) << "\" time=\""
            << formatSeconds(result.time.count()) << "\"";
        if (result.passed) {
            xml << "/>\n";
            continue;
        }
        xml << ">\n      <failure message=\"" << xmlAttribute(failureSummary(result)) << "\">"
            << xmlText(problemLines(result)) << "</failure>\n    </testcase>\n";
    }
    xml << "  </testsuite>\n</testsuites>\n";
    out << xml.str();
}

}  // namespace zelk::suite
