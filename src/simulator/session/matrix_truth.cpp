#include "simulator/session/matrix_truth.h"

#include <cmath>
#include <cstdlib>

#include "calibration/run_result.h"
#include "text/printf_text.h"
#include "text/streams.h"

namespace vesko::simulator {

Matrix3 true_matrix(const ModuleParams& truth) {
    Matrix3 counts_per_rate{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            counts_per_rate[i][j] = (i == j ? 1.0 : truth.coupling[i][j]) / truth.gyro_scale[i];
    // The scenario keeps the coupling within +-0.5, which leaves this invertible.
    return inverse(counts_per_rate).value_or(Matrix3{});
}

std::vector<RunResult> as_printed(std::vector<RunResult> runs) {
    for (RunResult& r : runs)
        for (double& x : r.integral) x = std::strtod(printf_text("%.1f", x).c_str(), nullptr);
    return runs;
}

MatrixTruth matrix_against_truth(const ModuleParams& truth, const std::vector<RunResult>& runs) {
    MatrixTruth m;
    m.true_k = true_matrix(truth);
    m.estimate = fit_cross_axis(as_printed(runs));
    if (m.estimate.fit) {
        const CrossAxisOutcome unrounded = fit_cross_axis(runs);
        if (unrounded.fit) m.unrounded = unrounded.fit->k;
    }
    return m;
}

double element_error(const Matrix3& estimate, const Matrix3& truth, std::size_t i, std::size_t j) {
    if (i == j) return estimate[i][i] / truth[i][i] - 1.0;
    const int a = static_cast<int>(i), b = static_cast<int>(j);
    return cross_share(estimate, a, b) - cross_share(truth, a, b);
}

namespace {

// One row of K: the diagonal in rad/s/LSB, the others in % of it.
std::string row_text(const Matrix3& k, std::size_t i) {
    std::string t = "[";
    for (std::size_t j = 0; j < 3; ++j) {
        if (j) t += "  ";
        t += i == j ? printf_text("%.9f", k[i][i])
                    : printf_text("%+.4f%%", 100.0 * cross_share(k, static_cast<int>(i), static_cast<int>(j)));
    }
    return t + "]";
}

// The largest |error| of the off-diagonal elements and of the diagonal ones.
struct LargestErrors {
    double off = 0, diagonal = 0;
};
LargestErrors largest_errors(const Matrix3& estimate, const Matrix3& truth) {
    LargestErrors e;
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            double& worst = i == j ? e.diagonal : e.off;
            worst = std::fmax(worst, std::fabs(element_error(estimate, truth, i, j)));
        }
    return e;
}

}  // namespace

void print_matrix_truth(std::FILE* out, const MatrixTruth& m) {
    if (!m.estimate.fit) return;
    const Matrix3& k = m.estimate.fit->k;
    TextSink(out).print("cross-axis K (rate = K x (counts - bias); diagonal rad/s/LSB, the others in %% of it):\n");
    for (std::size_t i = 0; i < 3; ++i)
        TextSink(out).print("  %c row  estimated %s  true %s\n", axis_letter(static_cast<int>(i)),
                            row_text(k, i).c_str(), row_text(m.true_k, i).c_str());
    const LargestErrors e = largest_errors(k, m.true_k);
    TextSink(out).print("K against the truth: largest |error| off the diagonal %.4f%% of the diagonal, on it %.4f%%\n",
                        100.0 * e.off, 100.0 * e.diagonal);
    if (m.unrounded) {
        double moved = 0;
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j)
                if (i != j) moved = std::fmax(moved, std::fabs(element_error(k, *m.unrounded, i, j)));
        TextSink(out).print("the integrals' printed 0.1 LSB*s moves the off-diagonal terms by at most %.5f%%\n",
                            100.0 * moved);
    }
    TextSink(out).flush();
}

}  // namespace vesko::simulator
