#include "calibration/matrix3.h"

#include <algorithm>
#include <cmath>

namespace vesko {

Vector3 times(const Matrix3& m, const Vector3& v) {
    Vector3 out{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) out[i] += m[i][j] * v[j];
    return out;
}

std::optional<Matrix3> inverse(const Matrix3& m) {
    // The adjugate over the determinant: each element's cofactor, transposed.
    Matrix3 adj{};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            const std::size_t r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            adj[i][j] = m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
        }
    }
    const double det = m[0][0] * adj[0][0] + m[0][1] * adj[1][0] + m[0][2] * adj[2][0];
    double scale = 1.0;
    for (const Vector3& row : m) scale *= std::hypot(row[0], row[1], row[2]);
    if (!(std::fabs(det) > 1e-300 * scale) || !std::isfinite(det)) return std::nullopt;
    for (Vector3& row : adj)
        for (double& x : row) x /= det;
    return adj;
}

Vector3 symmetric_eigenvalues(const Matrix3& m) {
    // The closed form for a symmetric 3x3: shift by the mean eigenvalue, and
    // the three roots of the characteristic cubic are cosines of one angle.
    const double off = m[0][1] * m[0][1] + m[0][2] * m[0][2] + m[1][2] * m[1][2];
    const double q = (m[0][0] + m[1][1] + m[2][2]) / 3.0;
    Vector3 e{m[0][0], m[1][1], m[2][2]};
    if (off > 0) {
        const double p2 =
            (m[0][0] - q) * (m[0][0] - q) + (m[1][1] - q) * (m[1][1] - q) + (m[2][2] - q) * (m[2][2] - q) + 2.0 * off;
        const double p = std::sqrt(p2 / 6.0);
        Matrix3 b = m;
        for (std::size_t i = 0; i < 3; ++i) {
            b[i][i] -= q;
            for (double& x : b[i]) x /= p;
        }
        const double half_det =
            (b[0][0] * (b[1][1] * b[2][2] - b[1][2] * b[2][1]) - b[0][1] * (b[1][0] * b[2][2] - b[1][2] * b[2][0]) +
             b[0][2] * (b[1][0] * b[2][1] - b[1][1] * b[2][0])) /
            2.0;
        const double phi = std::acos(std::clamp(half_det, -1.0, 1.0)) / 3.0;
        constexpr double kThird = 2.0943951023931953;  // 2 pi / 3
        e = {q + 2.0 * p * std::cos(phi), q + 2.0 * p * std::cos(phi + kThird), 0.0};
        e[2] = 3.0 * q - e[0] - e[1];
    }
    std::sort(e.begin(), e.end());
    return e;
}

}  // namespace vesko
