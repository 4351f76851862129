#pragma once

// run_session: the rotabench console, reader and discovery on a scenario's simulated bench.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "calibration/run_result.h"
#include "console/program.h"

#include "platform/interrupts.h"
#include "platform/sim/sim_bus.h"
#include "simulator/model/jig.h"
#include "simulator/scenario/scenario.h"
#include "simulator/session/matrix_truth.h"
#include "simulator/session/truth_report.h"

namespace vesko::simulator {

struct SessionOptions {
    // Real: the bus clock is the monotonic clock, as a person would watch it.
    // Virtual: the console's and the reader's threads take part in the bus
    // clock, which moves as fast as they go and the same way on every run.
    platform::sim::TimeMode time = platform::sim::TimeMode::Real;
    // Where the session is shown as it happens (null: nowhere; the outcome
    // keeps it all the same).
    std::FILE* out = stdout;  // the console's transcript, then the truth
    std::FILE* err = stderr;  // the console's and the reader's diagnostics
    bool print_truth = true;
    // The program's watch for Ctrl-C, which the operator's Ctrl-C goes
    // through too; null: the operator's Ctrl-C stops this session alone.
    platform::InterruptWatch* interrupts = nullptr;
    // A rehearsal: a person at this keyboard instead of the script, the jig
    // turning by itself after each arming Enter, and the runs judged one by
    // one after the truth. Its reads, sleeps and interrupts are the console's;
    // it is made once the session's bus exists (a real keyboard has no use
    // for it, in real time; a test's typist waits on its clock). Empty: the
    // scenario's script.
    std::function<ConsoleIo(platform::sim::SimBus& bus)> keyboard;
};

// When things happened in a session, on the bus clock: what a judge of its
// runs holds against the jig's motion.
struct SessionTimeline {
    struct Line {
        std::int64_t at_ns = 0;          // when its Enter (or the end of the input) reached the console
        std::size_t transcript_end = 0;  // the transcript's length then: the question is just before
        bool end_of_input = false;
    };
    std::vector<Line> lines;              // every line the operator ended, in order
    std::vector<std::int64_t> sample_ns;  // each sample handed to the console, when
    std::vector<JigTurn> turns;           // the jig's turns as scheduled
    struct Fault {
        std::int64_t at_ns = 0;  // when it was given for
        FaultStep step;
    };
    std::vector<Fault> faults;
};

struct SessionOutcome {
    int exit_code = 0;            // the console's
    std::vector<RunResult> runs;  // the runs the console accepted, as it measured them
    std::string transcript;       // the console's output with the operator's lines
    std::string diagnostics;      // what the console and the reader printed on standard error
    std::array<AxisTruth, 3> truth{};
    MatrixTruth matrix;  // the cross-axis fit against the module's true K
    SessionTimeline timeline;
};

// Runs the calibration console, its stream reader and discovery, the very
// program entry of rotabench, on a simulated bus built from the scenario,
// with the scenario's operator at the keyboard (or, rehearsing, a person).
SessionOutcome run_session(const Scenario& scenario, const SessionOptions& options);

}  // namespace vesko::simulator
