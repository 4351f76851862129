#include "simulator/study/matrix_study.h"

#include <cmath>

#include "calibration/run_result.h"
#include "text/streams.h"

namespace vesko::simulator {

MatrixStudy summarize_matrix_study(const std::vector<StudySession>& sessions) {
    MatrixStudy out;
    std::array<std::array<std::vector<double>, 3>, 3> errors;
    std::vector<double> rounding;
    std::array<std::vector<double>, 3> diagonal_vs_mean, alone_vs_mean;
    for (const StudySession& s : sessions) {
        const MatrixTruth& m = s.matrix;
        if (!m.estimate.fit) {
            ++out.without_matrix;
            continue;
        }
        ++out.with_matrix;
        double moved = 0;
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j) {
                errors[i][j].push_back(element_error(m.estimate.fit->k, m.true_k, i, j));
                if (i != j && m.unrounded)
                    moved = std::fmax(moved, std::fabs(element_error(m.estimate.fit->k, *m.unrounded, i, j)));
            }
        rounding.push_back(moved);
        const auto alone = scales_alone(m.estimate.fit->k);
        for (std::size_t a = 0; a < 3; ++a) {
            const double mean = s.truth[a].estimated;
            diagonal_vs_mean[a].push_back(m.estimate.fit->k[a][a] / mean - 1.0);
            if (alone) alone_vs_mean[a].push_back((*alone)[a] / mean - 1.0);
        }
    }
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) out.elements[i][j] = error_statistics(errors[i][j]);
    out.rounding = error_statistics(rounding);
    for (std::size_t a = 0; a < 3; ++a) {
        out.diagonal_vs_mean[a] = error_statistics(diagonal_vs_mean[a]);
        out.alone_vs_mean[a] = error_statistics(alone_vs_mean[a]);
    }
    return out;
}

void print_matrix_study(std::FILE* out, const std::vector<StudySession>& sessions) {
    const MatrixStudy m = summarize_matrix_study(sessions);
    if (m.with_matrix == 0) {
        TextSink(out).print("cross-axis K: no session had runs about all three axes\n");
        return;
    }
    TextSink(out)
        .print("cross-axis K against the truth, %d sessions (%d without a matrix); off the diagonal, the error\n",
               m.with_matrix, m.without_matrix);
    TextSink(out).print("of each term in %% of its row's diagonal:\n");
    TextSink(out).print("term  mean error   sd error   p95 |error|  max |error|\n");
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            if (i == j) continue;
            const ErrorStatistics& e = m.elements[i][j];
            TextSink(out).print("%c%c    %+9.4f%%  %8.4f%%  %10.4f%%  %10.4f%%\n", axis_letter(static_cast<int>(i)),
                                axis_letter(static_cast<int>(j)), 100 * e.mean, 100 * e.sd, 100 * e.p95_abs,
                                100 * e.max_abs);
        }
    TextSink(out).print("diagonal p95 |error|: X %.4f%%  Y %.4f%%  Z %.4f%%\n", 100 * m.elements[0][0].p95_abs,
                        100 * m.elements[1][1].p95_abs, 100 * m.elements[2][2].p95_abs);
    const auto against_mean = [&](const char* what, const std::array<ErrorStatistics, 3>& e) {
        TextSink(out)
            .print("%s / the summary's mean - 1: mean X %+.5f%%  Y %+.5f%%  Z %+.5f%%, p95 |.| %.5f%% %.5f%% %.5f%%\n",
                   what, 100 * e[0].mean, 100 * e[1].mean, 100 * e[2].mean, 100 * e[0].p95_abs, 100 * e[1].p95_abs,
                   100 * e[2].p95_abs);
    };
    against_mean("diagonal K_ii", m.diagonal_vs_mean);
    against_mean("scale alone 1/(K^-1)_ii", m.alone_vs_mean);
    TextSink(out).print(
        "the integrals' printed 0.1 LSB*s moves the off-diagonal terms by at most %.5f%% "
        "(p95 %.5f%% of the sessions' largest)\n",
        100 * m.rounding.max_abs, 100 * m.rounding.p95_abs);
}

}  // namespace vesko::simulator
