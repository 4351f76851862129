#include "calibration/cross_axis_fit.h"

#include <cmath>
#include <limits>

#include "calibration/run_result.h"

namespace vesko {

Vector3 run_turn_rad(const RunResult& run) {
    Vector3 turn{};
    const auto d = static_cast<std::size_t>(run.axis);
    turn[d] = std::copysign(run.angle_deg * kPi / 180.0, run.integral[d]);
    return turn;
}

CrossAxisOutcome fit_cross_axis(const std::vector<RunResult>& runs) {
    CrossAxisOutcome out;
    for (int a = 0; a < 3 && out.missing_axis < 0; ++a) {
        bool covered = false;
        for (const RunResult& r : runs) covered = covered || r.axis == a;
        if (!covered) out.missing_axis = a;
    }
    if (out.missing_axis >= 0) {
        out.refusal = FitRefusal::MissingAxis;
        return out;
    }

    // The normal equations: N = A'A over the runs' integrals (A's rows), and
    // A'b for each row of K.
    Matrix3 n{}, atb{};
    for (const RunResult& r : runs) {
        const Vector3 turn = run_turn_rad(r);
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j) {
                n[i][j] += r.integral[i] * r.integral[j];
                atb[i][j] += turn[i] * r.integral[j];
            }
    }
    // Each column scaled to unit length, so the condition says how far the
    // runs are from square axes whatever their angles.
    Vector3 d{};
    for (std::size_t j = 0; j < 3; ++j) d[j] = std::sqrt(n[j][j]);
    Matrix3 g{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) g[i][j] = n[i][j] / (d[i] * d[j]);
    const Vector3 eig = symmetric_eigenvalues(g);
    out.condition = eig[0] > 0 ? std::sqrt(eig[2] / eig[0]) : std::numeric_limits<double>::infinity();
    const auto g_inv = inverse(g);
    if (!(out.condition <= kMaxCondition) || !g_inv) {
        out.refusal = FitRefusal::IllConditioned;
        return out;
    }
    Matrix3 n_inv{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) n_inv[i][j] = (*g_inv)[i][j] / (d[i] * d[j]);

    CrossAxisFit fit;
    fit.condition = out.condition;
    for (std::size_t i = 0; i < 3; ++i) fit.k[i] = times(n_inv, atb[i]);
    Vector3 squares{};
    for (const RunResult& r : runs) {
        const Vector3 got = times(fit.k, r.integral), turn = run_turn_rad(r);
        Vector3 res{};
        for (std::size_t i = 0; i < 3; ++i) {
            res[i] = (got[i] - turn[i]) * 180.0 / kPi;
            squares[i] += (got[i] - turn[i]) * (got[i] - turn[i]);
        }
        fit.residual_deg.push_back(res);
    }
    if (runs.size() > 3) {
        Matrix3 se{};
        const double dof = static_cast<double>(runs.size() - 3);
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j) se[i][j] = std::sqrt(squares[i] / dof * n_inv[j][j]);
        fit.standard_error = se;
    }
    out.fit = fit;
    return out;
}

std::optional<Vector3> scales_alone(const Matrix3& k) {
    const auto m = inverse(k);
    if (!m) return std::nullopt;
    return Vector3{1.0 / (*m)[0][0], 1.0 / (*m)[1][1], 1.0 / (*m)[2][2]};
}

}  // namespace vesko
