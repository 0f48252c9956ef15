#include <string>

#include "Protocol.hpp"
#include "Reports.hpp"

namespace zelk::suite {

std::string problemLine(std::string_view path, const Problem& problem) {
    std::string line(path);
    line += ':';
    line += std::to_string(problem.line);
    line += ": ";
    line += problem.text;
    return line;
}

std::string failureSummary(const ScriptResult& result) {
    if (!result.opened) {
        return "cannot open script file: " + result.openError;
    }
    if (!result.transcriptError.empty()) {
        return "cannot write transcript: " + result.transcriptError;
    }
    return "expected " + std::string(sim::resultLine(result.expectFailure)) + ", got " +
           std::string(sim::resultLine(!result.resultPass));
}

}  // namespace zelk::suite
