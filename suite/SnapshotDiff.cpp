#include <dtl/dtl.hpp>

#include "Snapshots.hpp"

namespace zelk::suite {

std::vector<std::string> snapshotDiff(const SnapshotWindow& window, std::string_view snapshotName,
                                      std::size_t maxLines) {
    using Lines = std::vector<std::string>;
    dtl::Diff<std::string, Lines> diff(window.expected, window.actual);
    diff.compose();
    diff.composeUnifiedHunks();
    Lines body;
    const auto offset = static_cast<long long>(window.firstLine) - 1;
    for (const auto& hunk : diff.getUniHunks()) {
        body.push_back("@@ -" + std::to_string(hunk.a + offset) + "," + std::to_string(hunk.b) +
                       " +" + std::to_string(hunk.c + offset) + "," + std::to_string(hunk.d) +
                       " @@");
        for (const auto* part : {&hunk.common[0], &hunk.change, &hunk.common[1]}) {
            for (const auto& [line, info] : *part) {
                const char mark = info.type == dtl::SES_ADD      ? '+'
                                  : info.type == dtl::SES_DELETE ? '-'
                                                                 : ' ';
                body.push_back(mark + line);
            }
        }
    }
    Lines lines{"--- " + std::string(snapshotName), "+++ transcript"};
    const std::size_t shown = std::min(body.size(), maxLines);
    lines.insert(lines.end(), body.begin(), body.begin() + static_cast<std::ptrdiff_t>(shown));
    if (shown < body.size()) {
        lines.push_back("... and " + std::to_string(body.size() - shown) + " more diff lines");
    }
    if (window.cut) {
        lines.push_back("... (the files differ further: only " +
                        std::to_string(window.actual.size()) +
                        " lines from the first difference on are compared)");
    }
    return lines;
}

}  // namespace zelk::suite
