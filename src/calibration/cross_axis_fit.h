#pragma once

// The module's whole gyroscope calibration from a session's runs: the 3x3
// matrix K (rad per LSB*s, the same as rad/s per LSB) that takes each run's
// integral to the turn the operator made, fitted row by row by least squares.
//
// A run about axis d of `angle` degrees is the turn angle (in radians, with
// the sign of its dominant integral) on d and 0 on the two others, so row i of
// K says how axis i's rate is made from the three axes' counts:
//   rate_i = K_i0 n_0 + K_i1 n_1 + K_i2 n_2   (n: counts less the bias).
// The diagonal is each axis's scale; K_ij / K_ii (i != j) is how much of axis
// j's counts axis i's rate takes: the module's cross-axis sensitivity and its
// mounting on the jig together, which a jig turned about its own axes cannot
// tell apart.

#include <optional>
#include <vector>

#include "calibration/matrix3.h"
#include "calibration/run_result.h"

namespace vesko {

// A set of runs whose integrals, each axis scaled to the same length, are
// further than this from three square axes (the ratio of the largest to the
// smallest singular value) is refused: its noise would be multiplied as much.
inline constexpr double kMaxCondition = 100.0;

struct CrossAxisFit {
    Matrix3 k{};  // rad per LSB*s
    // Per element, with more runs than three; from the scatter of the
    // residuals of its row.
    std::optional<Matrix3> standard_error;
    std::vector<Vector3> residual_deg;  // per run: K * integral - turn, degrees
    double condition = 0;               // of the scaled integrals, 1 for square axes
};

enum class FitRefusal { None, MissingAxis, IllConditioned };

struct CrossAxisOutcome {
    std::optional<CrossAxisFit> fit;
    FitRefusal refusal = FitRefusal::None;
    int missing_axis = -1;  // with MissingAxis: the first axis no run is about
    double condition = 0;   // with IllConditioned
};

// The turn a run stands for, radians: its signed angle on its dominant axis.
Vector3 run_turn_rad(const RunResult& run);

// Refused when an axis has no run about it, or when the runs' integrals are
// too close to lying in a plane (kMaxCondition).
CrossAxisOutcome fit_cross_axis(const std::vector<RunResult>& runs);

// K_ij / K_ii: the share of axis j's counts in axis i's rate.
inline double cross_share(const Matrix3& k, int i, int j) {
    return k[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] /
           k[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)];
}

// The scale of axis i turned about alone, as the console's runs measure it:
// the turn over the integral on that axis, 1 / (K^-1)_ii. It differs from
// K_ii by the products of the cross terms (K_ij K_ji / K_jj).
std::optional<Vector3> scales_alone(const Matrix3& k);

}  // namespace vesko
