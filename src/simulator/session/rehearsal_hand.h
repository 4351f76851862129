#pragma once

// RehearsalHand: the bench of a rehearsal, where a person types at the
// console and the jig turns by itself. It listens to what the console reads
// and, on a thread of its own, turns the jig a second after each arming
// Enter, gives the scenario's faults at their moments and says on standard
// error what the jig does.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "calibration/run_result.h"
#include "platform/sim/sim_bus.h"
#include "simulator/model/gaussian_noise.h"
#include "simulator/scenario/scenario.h"
#include "simulator/session/rehearsal_truth.h"
#include "simulator/session/sim_bench.h"
#include "text/streams.h"

namespace vesko::simulator {

class RehearsalHand {
public:
    // `transcript` is the console's standard output as it is written, which
    // tells which question a line answers; `notes` is where the simulator's
    // own lines go (standard error), never into the console's texts.
    RehearsalHand(const Scenario& scenario, platform::sim::SimBus& bus, SimBench& bench, const TextBuffer& transcript,
                  std::FILE* notes);
    RehearsalHand(const RehearsalHand&) = delete;
    RehearsalHand& operator=(const RehearsalHand&) = delete;

    // On the console's thread: it is about to read a character, and then
    // read `c` (EOF at the end of the input).
    void reading();
    void heard(int c);

    // The hand's own thread: until stop(), the jig's turns, the notes and
    // the faults at their moments, on the bus clock.
    void run();
    void stop() { stopping_ = true; }

    // The runs the operator armed, each with the result the console accepted
    // for it (the `accepted` runs are in the order the console took them).
    std::vector<RehearsedRun> runs(const std::vector<RunResult>& accepted) const;

private:
    // A fault of the script, due a while after the operator ends its line.
    struct PendingFault {
        std::size_t after_lines = 0;  // lines the operator ends before it
        double offset_s = 0.0;        // then the script's waits and turns, and its delay
        FaultStep step;
        std::int64_t due_ns = -1;  // once its line was ended
    };

    void note(const char* text);
    void schedule_faults(std::size_t lines_ended);
    void step();

    const Scenario& scenario_;
    platform::sim::SimBus& bus_;
    SimBench& bench_;
    const TextBuffer& transcript_;
    std::FILE* const notes_;
    GaussianNoise draws_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;  // everything below: the console's thread and the hand's
    std::vector<PendingFault> faults_;
    std::vector<RehearsedRun> runs_;
    std::vector<std::size_t> outcome_from_;  // per run: the transcript's length at its finishing Enter
    std::string line_;                       // what the operator typed of the line so far
    std::size_t lines_ended_ = 0;
    std::size_t entered_at_ = 0;  // the transcript's length at the last Enter
    bool started_ = false;
    bool turn_started_ = false;  // the last run's turn
    bool still_told_ = false;
    std::int64_t still_ns_ = 0;
};

}  // namespace vesko::simulator
