#include "AsciiCase.hpp"

#include <algorithm>

namespace zelk::sim {

std::string toLower(std::string value) {
    std::transform(value.begin(), value.end(), value.begin(), lowerAscii);
    return value;
}

}  // namespace zelk::sim
