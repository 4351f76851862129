#pragma once

// The truth block: the scales the console printed against the simulated module's true scales.

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/model/module_params.h"

namespace vesko::simulator {

// One accepted run as the console printed it.
struct PrintedRun {
    int axis = 0;
    double scale = 0.0;
};

// The accepted runs in a console transcript: each "  dominant axis A" line
// with the "  scale = S rad/s/LSB" line that follows it.
std::vector<PrintedRun> printed_runs(std::string_view transcript);

struct AxisTruth {
    double true_scale = 0.0;
    int runs = 0;
    double estimated = 0.0;  // mean of the runs' scales; 0 without runs
    double error = 0.0;      // estimated / true - 1; 0 without runs
};

std::array<AxisTruth, 3> compare_with_truth(const ModuleParams& truth, const std::vector<PrintedRun>& runs);

// Takes each axis's estimate from the console's summary line ("X: 2 runs  mean
// M ..."), which averages the unrounded scales, where the transcript has one.
void use_summary_means(std::string_view transcript, std::array<AxisTruth, 3>& axes);

// The block after the console's own output: per axis the true scale, the
// console's mean estimate and its relative error.
void print_truth(std::FILE* out, const std::string& jig_serial, const std::array<AxisTruth, 3>& axes);

}  // namespace vesko::simulator
