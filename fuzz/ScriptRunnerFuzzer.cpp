// Feeds arbitrary bytes to the script runner as a script. Whatever the input, the run must
// end with exactly one RESULT line that agrees with the exit status.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "ScriptRunner.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream output;
    const int status = zelk::sim::runScript(input, output, "fuzz.zelk");

    const std::string text = output.str();
    const std::string_view ending = status == 0 ? "\nRESULT PASS\n" : "\nRESULT FAIL\n";
    if ((status != 0 && status != 1) || text.size() < ending.size() ||
        text.compare(text.size() - ending.size(), ending.size(), ending) != 0) {
        std::abort();
    }
    return 0;
}
