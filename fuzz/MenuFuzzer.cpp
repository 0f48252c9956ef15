// Feeds arbitrary bytes to the interactive menu as its standard input. Whatever the input,
// the menu must return, and its output must end at a prompt: "Select: " when the input ran
// out or was not a number, or "Select: " and a line feed after the answer 0.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "Menu.hpp"
#include <zelk/Controller.hpp>

namespace {

bool endsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream output;
    {
        zelk::Controller controller;
        zelk::sim::runInteractiveMenu(controller, input, output);
    }
    const std::string text = output.str();
    if (!endsWith(text, "Select: ") && !endsWith(text, "Select: \n")) {
        std::abort();
    }
    return 0;
}
