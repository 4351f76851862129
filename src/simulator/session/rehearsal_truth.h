#pragma once

// A rehearsal's runs as they happened at the bench, held against the module's
// truth: for each run the operator armed, what the console made of it and,
// for a refused or suspect one, why.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "calibration/run_result.h"
#include "simulator/model/jig.h"
#include "simulator/model/module_params.h"
#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// One run the operator armed, on the bus clock.
struct RehearsedRun {
    std::string typed;           // the angle line, as typed
    double typed_degrees = 0.0;  // the angle the console took from it
    RehearsalTurn plan;          // the way the jig was to turn
    double jig_degrees = 0.0;    // what the jig was told to turn, signed, with its error
    std::int64_t angle_ns = 0;   // the angle's Enter: the bias capture starts
    std::int64_t armed_ns = 0;
    std::optional<std::int64_t> finished_ns;  // none: cut short (Ctrl-C, the input ended)
    std::optional<JigTurn> turn;              // once the jig started it
    std::optional<RunResult> result;          // the console accepted it
};

// What the truth makes of one run.
struct RunVerdict {
    enum class Kind { Good, Suspect, Refused };
    Kind kind = Kind::Good;
    std::optional<double> error;      // an accepted run's scale / true scale - 1
    std::optional<double> explained;  // the error its cause accounts for
    std::string cause;                // empty for a good run
};

// What `run` shows against the module's truth, given when the console got
// each sample (in order) and when the jig turned before it.
RunVerdict judge_rehearsed_run(const RehearsedRun& run, const ModuleParams& truth,
                               const std::vector<std::int64_t>& sample_ns, std::int64_t previous_turn_end_ns);

// The block after the truth's: one line per run the operator armed.
void print_rehearsal_truth(std::FILE* out, const std::vector<RehearsedRun>& runs, const ModuleParams& truth,
                           const std::vector<std::int64_t>& sample_ns);

}  // namespace vesko::simulator
