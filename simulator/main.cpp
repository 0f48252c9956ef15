// zelk_simulator: without arguments, the interactive menu on standard input and output;
// with a script path, the scenario-script runner. Further arguments are ignored.

#include <iostream>

#include "Menu.hpp"
#include "ScriptRunner.hpp"
#include <zelk/Controller.hpp>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        zelk::Controller controller;
        zelk::sim::runInteractiveMenu(controller, std::cin, std::cout);
        std::cout.flush();
        return 0;
    }
    return zelk::sim::runScriptFile(argv[1], std::cout, std::cerr);
}
