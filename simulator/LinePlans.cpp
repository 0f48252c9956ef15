#include "LinePlans.hpp"

#include <cstring>

namespace zelk::sim {

bool LinePlan::record(std::string_view line, const TokenList& tokens) {
    if (line.size() > LongestLine) {
        return false;
    }
    text.fill('\0');
    std::memcpy(text.data(), line.data(), line.size());
    size = line.size();
    tokenCount = tokens.size();
    for (std::size_t i = 0; i < std::min(tokens.size(), TokenList::Capacity); ++i) {
        tokenAt[i] = static_cast<std::uint8_t>(tokens[i].data() - line.data());
        tokenSize[i] = static_cast<std::uint8_t>(tokens[i].size());
    }
    return true;
}

}  // namespace zelk::sim
