#pragma once

// Whether rotabench-report --matrix gives a log's kept runs a matrix: never
// while a run the report flags suspect is kept, and never when the fitted K
// leaves a run further from its turn than a hand jig's angle errs.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "calibration/cross_axis_fit.h"
#include "report/report_output.h"

namespace vesko::report {

// The largest residual a kept run may have on any axis, in degrees of turn.
// A jig turned by hand against end stops repeats its angle to about a quarter
// of a degree: a thousand simulated sessions of such a jig leave at most
// 0.9 deg, and a jig twice as loose at most 1.3 deg; an exact jig leaves
// 0.04 deg. A turn other than the one typed leaves tens of degrees (180
// typed as 90 on one of two runs: +72 deg). With three runs, one per axis,
// K is solved exactly and every residual is 0: the runs cannot be checked.
inline constexpr double kMaxResidualDeg = 2.0;

// A residual over the bound: the kept run's place among the kept runs, its axis, and the residual.
struct ResidualOver {
    std::size_t kept_index = 0;
    int axis = 0;
    double deg = 0;
};

struct MatrixVerdict {
    // The kept runs the report flags suspect, as places in the log's runs; while there are any, no fit is tried.
    std::vector<std::size_t> suspect;
    CrossAxisOutcome fit;               // which may be refused by the fit itself
    std::optional<ResidualOver> worst;  // the largest residual of a fit, when it is over kMaxResidualDeg

    // Only then is K given, the C array with it.
    bool passed() const { return suspect.empty() && fit.fit && !worst; }
};

// The verdict on the kept runs of `in` (the runs of the log without the dropped ones).
MatrixVerdict judge_matrix(const ReportInput& in);

// Why there is no matrix, on one line; "" when it passed.
std::string matrix_refusal(const ReportInput& in, const MatrixVerdict& v);

}  // namespace vesko::report
