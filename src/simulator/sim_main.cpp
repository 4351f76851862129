#include "simulator/sim_main.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/streams.h"
#include "platform/terminal.h"
#include "simulator/scenario/default_scenario.h"
#include "simulator/scenario/expectations.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/session.h"
#include "simulator/sim_command_line.h"
#include "simulator/study/study.h"
#include "simulator/study/study_svg.h"

namespace vesko::simulator {

int sim_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    const auto line = parse_sim_command_line(argc, argv);
    if (!line) {
        TextSink(err).write(kSimUsageLine);
        return 2;
    }
    // The scenario as the messages name it.
    const std::string name = line->scenario_file.value_or("default.toml (built in)");
    const ScenarioLoad load = line->scenario_file ? load_scenario_file(name) : parse_scenario(default_scenario_text(), name);
    if (!load.scenario) {
        TextSink(err).print("rotabench-sim: %s\n", load.error.c_str());
        return 2;
    }
    const Scenario& scenario = *load.scenario;

    if (line->study_sessions > 0) {
        // A session in virtual time keeps one processor busy: by default one
        // session at a time per processor.
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const unsigned jobs =
            std::min(line->jobs.value_or(cores), static_cast<unsigned>(line->study_sessions));
        const std::uint64_t first_seed = line->seed.value_or(1);
        const auto start = std::chrono::steady_clock::now();
        // On a terminal, a line that counts the sessions as they end.
        std::function<void(int)> progress;
        if (platform::is_terminal(err)) {
            progress = [&](int done) {
                TextSink(err).print("\rstudy: %d of %d sessions", done, line->study_sessions);
                if (done == line->study_sessions) TextSink(err).write("\n");
                std::fflush(err);
            };
        }
        const auto sessions = run_study(scenario, line->study_sessions, first_seed, jobs, progress);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (line->svg_file) {
            std::FILE* svg = std::fopen(line->svg_file->c_str(), "wb");
            if (svg == nullptr) {
                TextSink(err).print("rotabench-sim: cannot write %s\n", line->svg_file->c_str());
                return 2;
            }
            const std::string drawing =
                study_svg(sessions, "rotabench-sim --study " + std::to_string(line->study_sessions) + " " + name);
            std::fwrite(drawing.data(), 1, drawing.size(), svg);
            std::fclose(svg);
        }
        if (line->csv) {
            print_study_csv(out, sessions);
        } else {
            TextSink(out).print("study: %d sessions of %s, noise seeds %llu to %llu\n", line->study_sessions,
                                name.c_str(), static_cast<unsigned long long>(first_seed),
                                static_cast<unsigned long long>(first_seed + static_cast<std::uint64_t>(line->study_sessions) - 1));
            print_study(out, sessions, seconds, jobs, cores);
        }
        return 0;
    }

    if (!scenario.title.empty()) TextSink(out).print("# %s\n\n", scenario.title.c_str());
    SessionOptions options;
    options.time = line->fast ? platform::sim::TimeMode::Virtual : platform::sim::TimeMode::Real;
    options.out = out;
    options.err = err;
    const SessionOutcome outcome = run_session(scenario, options);
    if (scenario.expect) {
        if (const auto unmet = first_unmet(*scenario.expect, line->fast, outcome.exit_code, outcome.transcript,
                                              outcome.diagnostics)) {
            TextSink(err).print("rotabench-sim: expectation not met: %s\n", unmet->c_str());
            return 3;
        }
    }
    return outcome.exit_code;
}

}  // namespace vesko::simulator
