#include "simulator/sim_main.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "console/interrupt_rule.h"
#include "platform/interrupts.h"
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
        std::fputs(kSimUsageLine, err);
        return 2;
    }
    // The scenario as the messages name it.
    const std::string name = line->scenario_file.value_or("default.toml (built in)");
    const ScenarioLoad load = line->scenario_file ? load_scenario_file(name) : parse_scenario(default_scenario_text(), name);
    if (!load.scenario) {
        std::fprintf(err, "rotabench-sim: %s\n", load.error.c_str());
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
                std::fprintf(err, "\rstudy: %d of %d sessions", done, line->study_sessions);
                if (done == line->study_sessions) std::fputc('\n', err);
                std::fflush(err);
            };
        }
        const auto sessions = run_study(scenario, line->study_sessions, first_seed, jobs, progress);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (line->svg_file) {
            std::FILE* svg = std::fopen(line->svg_file->c_str(), "wb");
            if (svg == nullptr) {
                std::fprintf(err, "rotabench-sim: cannot write %s\n", line->svg_file->c_str());
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
            std::fprintf(out, "study: %d sessions of %s, noise seeds %llu to %llu\n", line->study_sessions,
                         name.c_str(), static_cast<unsigned long long>(first_seed),
                         static_cast<unsigned long long>(first_seed + static_cast<std::uint64_t>(line->study_sessions) - 1));
            print_study(out, sessions, seconds, jobs, cores);
        }
        return 0;
    }

    if (!scenario.title.empty()) std::fprintf(out, "# %s\n\n", scenario.title.c_str());
    // Ctrl-C stops the session with its summary, as it stops rotabench.
    platform::InterruptWatch interrupts(interrupt_action);
    SessionOptions options;
    options.interrupts = &interrupts;
    options.time = line->fast ? platform::sim::TimeMode::Virtual : platform::sim::TimeMode::Real;
    options.out = out;
    options.err = err;
    const SessionOutcome outcome = run_session(scenario, options);
    // A Ctrl-C that is not the script's own cut the session short of what it expects.
    const bool scripted_ctrl_c = std::any_of(scenario.script.begin(), scenario.script.end(), [](const OperatorStep& s) {
        return std::holds_alternative<PressCtrlC>(s);
    });
    if (scenario.expect && (interrupts.exit_code() == 0 || scripted_ctrl_c)) {
        if (const auto unmet = first_unmet(*scenario.expect, line->fast, outcome.exit_code, outcome.transcript,
                                              outcome.diagnostics)) {
            std::fprintf(err, "rotabench-sim: expectation not met: %s\n", unmet->c_str());
            return 3;
        }
    }
    return outcome.exit_code;
}

}  // namespace vesko::simulator
