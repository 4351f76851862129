#pragma once

// The cross-axis matrix fitted from a session's runs against the one the
// simulated module really has.

#include <cstdio>
#include <optional>
#include <vector>

#include "calibration/cross_axis_fit.h"
#include "calibration/run_result.h"
#include "simulator/model/module_params.h"

namespace vesko::simulator {

// The module's true K: its counts are S^-1 (I + coupling) times the rate
// (S the true scales on the diagonal), so the matrix that takes counts back
// to the rate is the inverse of that.
Matrix3 true_matrix(const ModuleParams& truth);

// The runs with their integrals rounded to the 0.1 LSB*s the console prints:
// what a report of the session's log works from.
std::vector<RunResult> as_printed(std::vector<RunResult> runs);

struct MatrixTruth {
    Matrix3 true_k{};
    CrossAxisOutcome estimate;         // from the integrals as printed
    std::optional<Matrix3> unrounded;  // the same fit from the integrals as measured
};

MatrixTruth matrix_against_truth(const ModuleParams& truth, const std::vector<RunResult>& runs);

// The error of element (i, j) of an estimate: off the diagonal, its share of
// the row's diagonal less the true share (a fraction of the diagonal); on it,
// estimate / truth - 1.
double element_error(const Matrix3& estimate, const Matrix3& truth, std::size_t i, std::size_t j);

// Lines for the truth block: nothing unless the fit was made.
void print_matrix_truth(std::FILE* out, const MatrixTruth& m);

}  // namespace vesko::simulator
