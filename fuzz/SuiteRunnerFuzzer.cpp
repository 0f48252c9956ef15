// Feeds arbitrary bytes to the script runner with the wait command enabled, on a virtual
// clock with the coverage recorder attached, as zelk_suite runs a script. Whatever the
// input, the run must end with exactly one RESULT line that agrees with the exit status,
// and the clock must never run backwards.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "Coverage.hpp"
#include "RunVerdict.hpp"
#include "ScriptRunner.hpp"
#include <zelk/Controller.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream output;
    zelk::Controller controller{zelk::manualClock};
    zelk::suite::CoverageData coverage;
    zelk::suite::CoverageRecorder recorder(coverage, 0);
    controller.setObserver(&recorder);
    zelk::sim::ScriptOptions options;
    options.wait = [&controller](std::chrono::milliseconds duration) {
        const auto before = controller.clockTime();
        controller.advanceClock(duration);
        if (controller.clockTime() < before) {
            std::abort();
        }
    };
    const int status = zelk::sim::runScriptOn(input, output, "fuzz.zelk", controller, options);

    requireOneVerdict(output.str(), status);
    return 0;
}
