// Benchmarks of the hot paths of a script run: one controller event (with and without an
// observer), one STATE line (formatted afresh, and from the runner's cache), one snapshot,
// tokenising one line, whole lines through the runner, the
// virtual clock's longest wait, zelk_suite's per-script work with and without coverage, the
// generation of scripts from nothing and the HTML coverage page of a large suite.

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Coverage.hpp"
#include "Exploration.hpp"
#include "Generator.hpp"
#include "ScriptRunner.hpp"
#include "StateView.hpp"
#include "Suite.hpp"
#include "Tokenizer.hpp"
#include "reports/Reports.hpp"
#include <zelk/Controller.hpp>

#include <benchmark/benchmark.h>

namespace {

void BM_StartButtonEvent(benchmark::State& state) {
    zelk::Controller controller;
    controller.powerButtonPressed();
    for (auto _ : state) {
        controller.startButtonPressed();  // standby <-> normal
    }
    benchmark::DoNotOptimize(controller.isCleanerCleaning());
}
BENCHMARK(BM_StartButtonEvent);

// The same event with a coverage recorder attached: the hook's cost when used. Without one
// (above) the hook is a single test of a null pointer.
void BM_StartButtonEventObserved(benchmark::State& state) {
    zelk::Controller controller;
    zelk::suite::CoverageData data;
    zelk::suite::CoverageRecorder recorder(data, 0);
    controller.setObserver(&recorder);
    controller.powerButtonPressed();
    for (auto _ : state) {
        controller.startButtonPressed();
    }
    benchmark::DoNotOptimize(data.pairs[2][1].hits);
}
BENCHMARK(BM_StartButtonEventObserved);

// "wait 2147483647" with a thousand expiries pending: applies them all and returns.
void BM_LongestWait(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        zelk::Controller controller{zelk::manualClock};
        controller.powerButtonPressed();
        controller.startButtonPressed();
        for (int i = 0; i < 1000; ++i) {
            controller.dustDetected();
        }
        state.ResumeTiming();
        controller.advanceClock(std::chrono::milliseconds(2147483647));
        benchmark::DoNotOptimize(controller.pendingExpiries());
    }
}
BENCHMARK(BM_LongestWait)->Unit(benchmark::kMicrosecond);

// One twenty-line scenario as zelk_suite runs it, without (0) and with (1) coverage.
void BM_SuiteScript(benchmark::State& state) {
    std::ifstream in(ZELK_BENCH_DIR "/twenty_lines.zelk");
    std::ostringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    zelk::suite::CoverageData data;
    zelk::suite::CoverageData* coverage = state.range(0) != 0 ? &data : nullptr;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelk::suite::runScriptText({"twenty_lines.zelk", "twenty_lines"},
                                                            text, false, coverage, nullptr));
    }
}
BENCHMARK(BM_SuiteScript)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The exploration behind every coverage report and the state diagram.
void BM_ExploreMachine(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelk::suite::exploreMachine());
    }
}
BENCHMARK(BM_ExploreMachine)->Unit(benchmark::kMillisecond);

// --generate from no suite at all: tours through all 105 outcomes, on an exploration made
// once (the run makes it beside the scripts).
void BM_GenerateFromNothing(benchmark::State& state) {
    const zelk::suite::ReachableMachine machine = zelk::suite::exploreMachine();
    const zelk::suite::CoverageData nothing;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelk::suite::generateScripts(nothing, machine));
    }
}
BENCHMARK(BM_GenerateFromNothing)->Unit(benchmark::kMillisecond);

// The HTML page of a suite of 10,000 twenty-line scripts, each credited where it went.
void BM_CoverageHtml10000Scripts(benchmark::State& state) {
    std::ifstream in(ZELK_BENCH_DIR "/twenty_lines.zelk");
    std::ostringstream whole;
    whole << in.rdbuf();
    const std::string text = whole.str();
    constexpr std::uint32_t Scripts = 10000;
    zelk::suite::CoverageData data;
    std::vector<std::string> paths;
    for (std::uint32_t i = 0; i < Scripts; ++i) {
        std::istringstream input(text);
        std::ostringstream transcript;
        zelk::suite::RunSettings settings;
        settings.coverage = &data;
        settings.scriptIndex = i;
        paths.push_back("suite/s" + std::to_string(i) + ".zelk");
        zelk::suite::runScriptStream({paths.back(), "s"}, input, transcript, settings);
    }
    const zelk::suite::ReachableMachine machine = zelk::suite::exploreMachine();
    for (auto _ : state) {
        std::ostringstream page;
        zelk::suite::writeCoverageHtml(page, data, machine, paths);
        benchmark::DoNotOptimize(page.str().size());
    }
}
BENCHMARK(BM_CoverageHtml10000Scripts)->Unit(benchmark::kMillisecond);

void BM_DustWhileBoosting(benchmark::State& state) {
    // Each event arms one more expiry (an hour away, so none falls due here).
    zelk::Controller controller{std::chrono::hours(1)};
    controller.powerButtonPressed();
    controller.startButtonPressed();
    for (auto _ : state) {
        controller.dustDetected();
    }
}
BENCHMARK(BM_DustWhileBoosting);

void BM_StateLine(benchmark::State& state) {
    zelk::Controller controller;
    controller.powerButtonPressed();
    controller.startButtonPressed();
    std::string line;
    for (auto _ : state) {
        line.clear();
        zelk::sim::appendStatus(line, controller);
        benchmark::DoNotOptimize(line.data());
    }
}
BENCHMARK(BM_StateLine);

// What the runner does for a STATE line: the controller's state code, and the line the
// cache keeps for it. The controller moves between two states, as a script does.
void BM_CachedStateLine(benchmark::State& state) {
    zelk::Controller controller;
    controller.powerButtonPressed();
    zelk::sim::StateLineCache cache;
    for (auto _ : state) {
        controller.startButtonPressed();
        benchmark::DoNotOptimize(cache.line(controller).data());
    }
}
BENCHMARK(BM_CachedStateLine);

// A snapshot is read from the state the last step published, without the lock.
void BM_Snapshot(benchmark::State& state) {
    zelk::Controller controller;
    controller.powerButtonPressed();
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.snapshot());
    }
}
BENCHMARK(BM_Snapshot);

void BM_TokeniseLine(benchmark::State& state) {
    // As the runner does it: a line with padding after it, cut into a fixed token list.
    const std::string text = "  obstacle blocked clear 1   # steer around the chair";
    const std::string storage = text + std::string(zelk::sim::ChunkSize, '\0');
    const std::string_view line(storage.data(), text.size());
    zelk::sim::TokenList tokens;
    for (auto _ : state) {
        zelk::sim::splitInto(zelk::sim::stripCommentView(line), tokens, zelk::sim::Storage::Padded);
        benchmark::DoNotOptimize(tokens);
    }
}
BENCHMARK(BM_TokeniseLine);

void BM_RunScriptLines(benchmark::State& state) {
    std::string script;
    for (int i = 0; i < 1000; ++i) {
        script += "start\nobstacle 1 0 0\nexpect mode NormalMode\nstatus\n";
    }
    for (auto _ : state) {
        std::istringstream in(script);
        std::ostringstream out;
        benchmark::DoNotOptimize(zelk::sim::runScript(in, out, "bench.zelk"));
    }
    state.SetItemsProcessed(state.iterations() * 4000);
}
BENCHMARK(BM_RunScriptLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
