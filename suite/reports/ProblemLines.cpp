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

std::string problemLines(const ScriptResult& result) {
    std::string lines;
    for (const Problem& problem : result.problems) {
        lines += problemLine(result.path, problem);
        lines += '\n';
    }
    if (result.moreProblems > 0) {
        lines += "... and " + std::to_string(result.moreProblems) + " more\n";
    }
    return lines;
}

std::string failureSummary(const ScriptResult& result) {
    if (!result.opened) {
        return "cannot open script file: " + result.openError;
    }
    if (!result.transcriptError.empty()) {
        return "cannot write transcript: " + result.transcriptError;
    }
    if (!result.stopReason.empty()) {
        return result.stopReason;
    }
    std::string summary;
    if (result.resultPass == result.expectFailure) {
        summary = "expected " + std::string(sim::resultLine(result.expectFailure)) + ", got " +
                  std::string(sim::resultLine(!result.resultPass));
    }
    if (!result.snapshotProblem.empty()) {
        summary += (summary.empty() ? "" : "; ") + result.snapshotProblem;
    }
    return summary;
}

}  // namespace zelk::suite
