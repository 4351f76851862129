#pragma once

// One rotation run: arming, integration over the device timestamps, the checks, and the scale
// estimate.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/run_result.h"
#include "console/cal_accumulator.h"
#include "console/program.h"

namespace vesko {

inline constexpr std::uint64_t kMinRunIntervals = 500;
inline constexpr double kMinDominantIntegral = 100.0;  // LSB*s

// What the dialogue copies out of the accumulator when a run is finished.
struct RunCapture {
    std::array<double, 3> integral{};
    std::uint64_t intervals = 0;
    double max_dt = 0;
    bool gap = false;
    // Host time that went without samples where the intervals cannot show
    // it: the longer of the two stretches at the run's edges, from the arming
    // Enter to the first sample integrated and from the last one to the
    // finishing Enter (the whole run, if none came), or the host time from
    // the first sample to the last that the device's clock does not account
    // for (a module that restarted its clock after an unplug), s.
    double unsampled_s = 0;
};

// Pure: the dominant axis, strict comparisons so X wins ties over Y over Z.
int dominant_axis(const std::array<double, 3>& integral);

// Pure: judges a finished run and writes its outcome lines to `out`; returns
// true and fills `result` when the run is accepted. A run with more than the
// gap limit of unsampled host time is refused as a gap between two samples
// is: part of the turn may have happened while nothing was sampled.
bool evaluate_run(const RunCapture& run, double angle_deg, TextSink out, RunResult& result);

// Arms the run with `bias`, integrates until the operator finishes it, then
// evaluates it; appends at most one result to `runs`.
void run_rotation(CalAccumulator& acc, double angle_deg, const std::array<double, 3>& bias,
                  std::vector<RunResult>& runs, const ConsoleIo& io);

}  // namespace vesko
