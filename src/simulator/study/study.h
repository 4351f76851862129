#pragma once

// A study: many sessions of one scenario in virtual time, each with its own
// noise seed, and how far the console's per-axis means fell from the truth.

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "simulator/scenario/scenario.h"
#include "simulator/session/matrix_truth.h"
#include "simulator/session/truth_report.h"

namespace vesko::simulator {

struct StudySession {
    int index = 0;           // 1..N
    std::uint64_t seed = 0;  // the session's noise seed
    int exit_code = 0;
    std::array<AxisTruth, 3> truth{};
    bool gate_passed = false;  // the three means within 2% of one value
    MatrixTruth matrix;        // the cross-axis fit against the true K
};

// The scenario with every module's noise, and the operator's own errors,
// drawn from `seed`.
Scenario with_seed(Scenario scenario, std::uint64_t seed);

// Runs `sessions` sessions, session k with seed `first_seed` + k - 1, over
// `threads` threads (0: one per processor). Each session is in virtual time
// and keeps to its own seed, so the results do not depend on `threads`.
// `progress` (may be empty) hears of each session as it ends, from the
// thread that ran it, one at a time.
std::vector<StudySession> run_study(const Scenario& scenario, int sessions, std::uint64_t first_seed, unsigned threads,
                                    const std::function<void(int done)>& progress = {});

struct AxisStudy {
    int with_summary = 0;     // sessions whose console printed a mean for the axis
    int without_summary = 0;  // a refused run, a starved stream, no run at all
    double mean_error = 0.0;  // of estimate / truth - 1, over the sessions with a mean
    double sd_error = 0.0;
    double p95_abs_error = 0.0;
    double max_abs_error = 0.0;
};

// The figures of a set of errors: mean, sample sd, the nearest-rank 95th
// percentile of |error| (the smallest value at least 95% do not exceed) and
// the largest |error|; zeros when there are none.
struct ErrorStatistics {
    double mean = 0.0, sd = 0.0, p95_abs = 0.0, max_abs = 0.0;
};
ErrorStatistics error_statistics(const std::vector<double>& errors);

std::array<AxisStudy, 3> summarize_study(const std::vector<StudySession>& sessions);

// The table a person reads and a script parses: one line per axis, the gate's
// share, what the study cost running `jobs` sessions at a time on `cores`
// processors. Only that last line varies from run to run.
void print_study(std::FILE* out, const std::vector<StudySession>& sessions, double seconds, unsigned jobs,
                 unsigned cores);

// The CSV's header: per axis the runs, the mean scale (rad/s/LSB) and its
// error against the true scale in percent, as in the table.
void print_study_csv_header(std::FILE* out);

// One row per session, under that header.
void print_study_csv(std::FILE* out, const std::vector<StudySession>& sessions);

}  // namespace vesko::simulator
