#include "simulator/sim_main.h"

#include <algorithm>
#include <variant>

#include "console/console_input.h"
#include "console/console_window.h"
#include "platform/interrupts.h"
#include "simulator/scenario/default_scenario.h"
#include "simulator/scenario/expectations.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/session.h"
#include "simulator/sim_command_line.h"
#include "simulator/study/study_command.h"
#include "text/streams.h"

#ifndef ROTABENCH_VERSION
#define ROTABENCH_VERSION "unknown"
#endif

namespace vesko::simulator {

int sim_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const SwarmCommand& swarm,
             const platform::ConsoleHost* console) {
    const auto parsed = parse_sim_command_line(argc, argv);
    if (const auto* bad = std::get_if<SimUsageError>(&parsed)) return print_sim_usage_error(*bad, err);
    const SimCommandLine& line = std::get<SimCommandLine>(parsed);
    if (line.help) {
        TextSink(out).write(kSimUsageLine);
        TextSink(out).write(kSimHelp);
        return 0;
    }
    if (line.version) {
        TextSink(out).write("rotabench-sim " ROTABENCH_VERSION "\n");
        return 0;
    }
    if (line.swarm_sessions > 0) {
        if (!swarm) return print_sim_usage_error({"--swarm", "this program has no swarm"}, err);
        return swarm(line, out, err);
    }
    // The scenario as the messages name it.
    const std::string name = line.scenario_file.value_or("default.toml (built in)");
    const ScenarioLoad load =
        line.scenario_file ? load_scenario_file(name) : parse_scenario(default_scenario_text(), name);
    if (!load.scenario) {
        TextSink(err).print("rotabench-sim: %s\n", load.error.c_str());
        return 2;
    }
    const Scenario& scenario = *load.scenario;

    if (line.study_sessions > 0) return run_study_command(line, scenario, name, out, err);

    if (!scenario.title.empty()) TextSink(out).print("# %s\n\n", scenario.title.c_str());
    // Ctrl-C stops the session with its summary, as it stops rotabench.
    platform::InterruptWatch interrupts(interrupt_action);
    SessionOptions options;
    options.interrupts = &interrupts;
    options.time = line.fast ? platform::sim::TimeMode::Virtual : platform::sim::TimeMode::Real;
    options.out = out;
    options.err = err;
    if (line.rehearse) {
        // The console's keyboard and sleeps are rotabench's own.
        ConsoleIo keyboard = standard_console_io(interrupts);
        options.time = platform::sim::TimeMode::Real;  // a person's, whatever else the line says
        keyboard.streams = OutputStreams{out, err};
        options.keyboard = [&keyboard](platform::sim::SimBus&) { return keyboard; };
        TextSink(err).print(
            "[rotabench-sim] rehearsal of %s: you are the operator; the jig turns by itself about "
            "1 s after each arming Enter\n",
            name.c_str());
        const auto session = [&] { return run_session(scenario, options).exit_code; };
        return console != nullptr ? run_in_console_window(*console, keyboard, session) : session();
    }
    const SessionOutcome outcome = run_session(scenario, options);
    // A Ctrl-C that is not the script's own cut the session short of what it expects.
    const bool scripted_ctrl_c = std::any_of(scenario.script.begin(), scenario.script.end(), [](const OperatorStep& s) {
        return std::holds_alternative<PressCtrlC>(s);
    });
    if (scenario.expect && (interrupts.exit_code() == 0 || scripted_ctrl_c)) {
        if (const auto unmet =
                first_unmet(*scenario.expect, line.fast, outcome.exit_code, outcome.transcript, outcome.diagnostics)) {
            TextSink(err).print("rotabench-sim: expectation not met: %s\n", unmet->c_str());
            return 3;
        }
    }
    return outcome.exit_code;
}

}  // namespace vesko::simulator
