#pragma once

// The interactive console menu: a status block, six numbered events and a narration of
// what each event changed. Answers are read by formatted extraction, never line by line:
// whatever follows a number is left for the next prompt.

#include <istream>
#include <ostream>

#include <zelk/Controller.hpp>

namespace zelk::sim {

// Runs until the answer 0, or until an answer at "Select: " cannot be read as a number
// (end of input included). Prompts are flushed before each read.
void runInteractiveMenu(Controller& controller, std::istream& input, std::ostream& output);

}  // namespace zelk::sim
