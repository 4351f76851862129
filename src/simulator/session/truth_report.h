#pragma once

// The truth block: the scales the console printed against the simulated module's true scales.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "calibration/run_result.h"
#include "simulator/model/module_params.h"

namespace vesko::simulator {

struct AxisTruth {
    double true_scale = 0.0;
    int runs = 0;
    double estimated = 0.0;  // the summary's mean of the runs' scales; 0 without runs
    double error = 0.0;      // estimated / true - 1; 0 without runs
};

// Per axis, the console's estimate (the mean its summary prints, unrounded)
// against the module's true scale.
std::array<AxisTruth, 3> compare_with_truth(const ModuleParams& truth, const std::vector<RunResult>& runs);

// The block after the console's own output: per axis the true scale, the
// console's mean estimate and its relative error.
void print_truth(std::FILE* out, const std::string& jig_serial, const std::array<AxisTruth, 3>& axes);

}  // namespace vesko::simulator
