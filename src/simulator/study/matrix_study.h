#pragma once

// A study's cross-axis figures: how far each element of the fitted K fell
// from the module's true K over the sessions that had runs about all axes.

#include <array>
#include <cstdio>
#include <vector>

#include "simulator/study/study.h"

namespace vesko::simulator {

struct MatrixStudy {
    int with_matrix = 0;     // sessions whose runs gave a fit
    int without_matrix = 0;  // an axis without a run, or runs too close to a plane
    // Per element (row, column): off the diagonal, the error of its share of
    // the diagonal (a fraction of it); on it, estimate / truth - 1.
    std::array<std::array<ErrorStatistics, 3>, 3> elements{};
    // How far the integrals' printed 0.1 LSB*s moved a session's off-diagonal
    // terms at most: the printed resolution's own share of the error.
    ErrorStatistics rounding;
    // Per axis, the diagonal against the console's mean of the same session:
    // K_ii / mean - 1, and the scale about the axis alone, 1 / (K^-1)_ii,
    // / mean - 1 (the console's runs measure that one).
    std::array<ErrorStatistics, 3> diagonal_vs_mean{}, alone_vs_mean{};
};

MatrixStudy summarize_matrix_study(const std::vector<StudySession>& sessions);

// The off-diagonal elements' table, the diagonal's p95, and the rounding's
// share; one line saying there is no matrix when no session had one.
void print_matrix_study(std::FILE* out, const std::vector<StudySession>& sessions);

}  // namespace vesko::simulator
