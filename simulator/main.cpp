// zelk_simulator: without arguments, the interactive menu on standard input and output;
// with a script path, the scenario-script runner. Further arguments are ignored.
// "--help", "-h" and "--version" as the first argument answer on standard output.

#include <iostream>
#include <string_view>

#include "Menu.hpp"
#include "ScriptRunner.hpp"
#include <zelk/Controller.hpp>

#ifndef ZELK_VERSION
#define ZELK_VERSION "unknown"
#endif

namespace {

constexpr std::string_view Usage =
    "Usage: zelk_simulator           the interactive menu on standard input\n"
    "       zelk_simulator SCRIPT    run a scenario script; further arguments are ignored\n"
    "\n"
    "A script whose name begins with '-' runs as ./-name. The script commands: write\n"
    "'help' in a script.\n";

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        zelk::Controller controller;
        zelk::sim::runInteractiveMenu(controller, std::cin, std::cout);
        std::cout.flush();
        return 0;
    }
    const std::string_view first = argv[1];
    if (first == "--help" || first == "-h" || first == "--version") {
        std::cout << (first == "--version" ? "zelk_simulator " ZELK_VERSION "\n" : Usage);
        std::cout.flush();
        return std::cout ? 0 : 1;
    }
    return zelk::sim::runScriptFile(argv[1], std::cout, std::cerr);
}
