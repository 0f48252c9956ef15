// Feeds arbitrary bytes to the script runner as a script. Whatever the input, the run must
// end with exactly one RESULT line that agrees with the exit status.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "RunVerdict.hpp"
#include "ScriptRunner.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream output;
    const int status = zelk::sim::runScript(input, output, "fuzz.zelk");

    requireOneVerdict(output.str(), status);
    return 0;
}
