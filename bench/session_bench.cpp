// The built-in session as rotabench-sim --fast runs it: the console, the
// reader and discovery on the simulated bench, the scripted operator at the
// keyboard, and the bus clock moved by the virtual-time driver. Per session,
// from building the bus to the summary; the scenario is read once.

#include <benchmark/benchmark.h>

#include <cstdio>

#include "simulator/scenario/default_scenario.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/session.h"

namespace vesko::bench {
namespace {

void BM_DefaultSessionVirtualTime(benchmark::State& state) {
    const simulator::ScenarioLoad load =
        simulator::parse_scenario(simulator::default_scenario_text(), "default.toml (built in)");
    if (!load.scenario) {
        state.SkipWithError(load.error.c_str());
        return;
    }
    std::FILE* devnull = std::fopen("/dev/null", "w");
    if (devnull == nullptr) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    simulator::SessionOptions options;
    options.time = platform::sim::TimeMode::Virtual;
    options.out = devnull;
    options.err = devnull;
    options.print_truth = false;
    for (auto _ : state) {
        const simulator::SessionOutcome outcome = simulator::run_session(*load.scenario, options);
        if (outcome.exit_code != 0 || !outcome.diagnostics.empty()) {
            state.SkipWithError("the built-in session did not end cleanly");
            break;
        }
    }
    std::fclose(devnull);
    state.counters["per_session"] =
        benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_DefaultSessionVirtualTime)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace vesko::bench
