#include "simulator/session/session.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "console/program.h"
#include "imu/vantis_imu.h"
#include "simulator/session/bus_layout.h"
#include "simulator/session/rehearsal_hand.h"
#include "simulator/session/rehearsal_truth.h"
#include "simulator/session/scripted_operator.h"
#include "simulator/session/sim_bench.h"

namespace vesko::simulator {

SessionOutcome run_session(const Scenario& scenario, const SessionOptions& options) {
    platform::sim::SimBus bus(options.time);
    std::vector<PlacedModule> modules = build_bus(bus, scenario);
    SimBench bench(bus, modules, scenario.jig_module, options.interrupts);
    // The console's two streams as the session keeps them, each shown on the
    // terminal the moment it is written, in the order of writing.
    TextBuffer transcript(options.out);
    TextBuffer diagnostics(options.err);
    ScriptedOperator op(scenario.script, bench, transcript, scenario.errors);
    const ConsoleIo keyboard = options.keyboard ? options.keyboard(bus) : ConsoleIo{};
    std::unique_ptr<RehearsalHand> hand;
    if (options.keyboard) hand = std::make_unique<RehearsalHand>(scenario, bus, bench, transcript, options.err);

    SessionOutcome outcome;
    SessionTimeline& timeline = outcome.timeline;
    std::mutex samples_mutex;  // the reader's thread hands the samples over

    ConsoleIo io;
    io.streams = OutputStreams{transcript, diagnostics};
    io.read_char = [&] {
        if (hand) hand->reading();
        const int c = hand ? keyboard.read_char() : op.read_char();
        if (hand) hand->heard(c);
        if (c == '\n' || c == EOF) timeline.lines.push_back({bus.now_ns(), transcript.size(), c == EOF});
        return c;
    };
    io.sleep = [&](std::chrono::milliseconds d) {
        bench.sleep_until(bus.now_ns() + std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
    };
    io.interrupted = [&] { return bench.interrupted(); };
    // Rehearsing, the bench is the hand's alone: the console sleeps as rotabench does.
    if (hand) {
        io.sleep = keyboard.sleep;
        io.interrupted = keyboard.interrupted;
    }
    io.clock = &bus.clock();
    // In virtual time the console's thread and the reader's take part in the
    // bus clock, one running at a time.
    const ReaderFactory make_reader = [&](SampleCallback callback) -> std::unique_ptr<ImuReader> {
        SampleCallback noted = [&, callback = std::move(callback)](const ImuSample& sample) {
            {
                const std::lock_guard<std::mutex> lock(samples_mutex);
                timeline.sample_ns.push_back(bus.now_ns());
            }
            callback(sample);
        };
        return std::make_unique<VantisImu>(std::move(noted), bus, bus.clock(), VantisImuOptions{io.streams});
    };
    std::vector<const char*> argv = {"rotabench-sim"};
    if (scenario.serial) {
        argv.push_back("--imu-serial");
        argv.push_back(scenario.serial->c_str());
    }

    {
        const platform::sim::BusClock::Participation console(bus.clock(), "console", platform::kConsoleRank);
        platform::Thread hand_thread;
        if (hand) hand_thread = bus.clock().start_thread("hand", platform::kOtherRank, [&] { hand->run(); });
        const ProgramOutcome program = run_program(static_cast<int>(argv.size()), argv.data(), make_reader, io);
        if (hand) {
            hand->stop();
            hand_thread.join();
        }
        outcome.exit_code = program.exit_code;
        outcome.runs = program.runs;
    }
    outcome.transcript = transcript.text();
    outcome.diagnostics = diagnostics.text();
    timeline.turns = bench.turns();
    for (const SimBench::GivenFault& f : bench.faults()) timeline.faults.push_back({f.at_ns, f.step});

    for (const PlacedModule& m : modules) {
        if (m.serial != scenario.jig_module) continue;
        outcome.truth = compare_with_truth(m.model->params(), outcome.runs);
        outcome.matrix = matrix_against_truth(m.model->params(), outcome.runs);
        if (options.print_truth && options.out != nullptr) {
            print_truth(options.out, m.serial, outcome.truth);
            print_matrix_truth(options.out, outcome.matrix);
            if (hand)
                print_rehearsal_truth(options.out, hand->runs(outcome.runs), m.model->params(), timeline.sample_ns);
        }
        break;
    }
    return outcome;
}

}  // namespace vesko::simulator
