#pragma once

// The per-axis figures of a session's runs, with the consistency gate.

#include <array>
#include <optional>
#include <vector>

#include "calibration/run_result.h"

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

using AxisSummaries = std::array<std::optional<AxisSummary>, 3>;  // X, Y, Z
AxisSummaries summarize_axes(const std::vector<RunResult>& runs);

// The consistency gate: the per-axis means must sit within 2% of one value.
// Its figure is the largest mean minus the smallest, in percent of the three
// means' average.
inline constexpr double kGateLimitPct = 2.0;
struct GateFigure {
    double pct = 0;
    int largest_axis = 0, smallest_axis = 0;
    bool passes() const { return pct <= kGateLimitPct; }
};
// nullopt unless every axis has a run.
std::optional<GateFigure> gate_figure(const AxisSummaries& axes);

}  // namespace vesko
