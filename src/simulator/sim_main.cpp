#include "simulator/sim_main.h"

#include "simulator/default_scenario.h"
#include "simulator/scenario_load.h"
#include "simulator/session.h"

namespace vesko::simulator {

int sim_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fputs("usage: rotabench-sim [SCENARIO.toml]\n", err);
        return 2;
    }
    const ScenarioLoad load =
        argc == 2 ? load_scenario_file(argv[1]) : parse_scenario(default_scenario_text(), "default.toml (built in)");
    if (!load.scenario) {
        std::fprintf(err, "rotabench-sim: %s\n", load.error.c_str());
        return 2;
    }
    if (!load.scenario->title.empty()) std::fprintf(out, "# %s\n\n", load.scenario->title.c_str());
    SessionOptions options;
    options.time = platform::sim::TimeMode::Real;
    options.out = out;
    options.err = err;
    return run_session(*load.scenario, options).exit_code;
}

}  // namespace vesko::simulator
