// Benchmarks of the hot paths of a script run: one controller event, one STATE line,
// tokenising one line, and whole lines through the runner.

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ScriptRunner.hpp"
#include "StateView.hpp"
#include "TextHelpers.hpp"
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

void BM_TokeniseLine(benchmark::State& state) {
    // As the runner does it: views into the line, storage reused from line to line.
    const std::string line = "  obstacle blocked clear 1   # steer around the chair";
    std::vector<std::string_view> tokens;
    for (auto _ : state) {
        zelk::sim::splitViews(zelk::sim::stripCommentView(line), tokens);
        benchmark::DoNotOptimize(tokens.data());
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
