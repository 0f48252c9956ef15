#pragma once

// Graphviz's layout, loaded the first time a drawing is asked for: a run that draws nothing
// maps none of Graphviz's libraries and pays nothing for them at start-up.

#include <string>
#include <string_view>

namespace zelk::suite {

// `dot`, a graph in the DOT language, laid out by Graphviz's dot engine and rendered as SVG;
// empty, with the reason in `error`, when Graphviz cannot be loaded or cannot lay it out.
std::string layoutSvg(std::string_view dot, std::string& error);

// Whether the Graphviz library named `soname` loads with every function the layout calls;
// the reason in `error` when not.
bool graphvizLoads(const char* soname, std::string& error);

}  // namespace zelk::suite
