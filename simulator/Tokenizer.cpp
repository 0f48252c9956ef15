#include "Tokenizer.hpp"

namespace zelk::sim {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string_view> views;
    splitInto(line, views);
    return {views.begin(), views.end()};
}

}  // namespace zelk::sim
