#pragma once

// The per-axis summary printed at quit, with the consistency gate.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "console/rotation_run.h"

namespace vesko {

// One axis's figures in the summary, all from the scales of its runs.
struct AxisSummary {
    int runs = 0;
    double mean = 0;         // rad/s per LSB
    double spread_pct = 0;   // (largest - smallest) / mean, in percent
    double vs_1024_pct = 0;  // mean against 1/1024, in percent
    double vs_0001_pct = 0;  // mean against 0.001, in percent
};

// The figures of `axis` (0 X, 1 Y, 2 Z); nullopt when it has no runs.
std::optional<AxisSummary> summarize_axis(const std::vector<RunResult>& runs, int axis);

// That axis's line of the summary, without its line end.
std::string summary_axis_line(int axis, const std::optional<AxisSummary>& summary);

// The per-axis block printed when the operator quits with runs recorded:
// runs, mean scale, spread and deviations per axis, then the gate rule.
void print_summary(const std::vector<RunResult>& runs, std::FILE* out);

}  // namespace vesko
