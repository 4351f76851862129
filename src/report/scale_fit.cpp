#include "report/scale_fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "console/printed_summary.h"

namespace vesko::report {
namespace {

// Half a unit of the ninth decimal, a little inside so that a value never
// moves past the rounding of what was printed.
constexpr double kHalfUnit = 0.49e-9;
constexpr int kSteps = 20;

std::vector<RunResult> axis_results(const std::vector<LoggedRun>& runs, int axis) {
    std::vector<RunResult> out;
    for (const LoggedRun& r : runs)
        if (r.result.axis == axis) out.push_back(r.result);
    return out;
}

// Moves the smallest and the largest scale of the axis by their own offsets
// and the others by the mean of the two, trying the smallest moves first:
// the mean depends on all of them, the spread on the two extremes.
bool fit_axis(std::vector<RunResult>& axis_runs, int axis, const std::string& want) {
    if (summary_axis_line(axis, summarize_axis(axis_runs, axis)) == want) return true;
    const auto [lo_it, hi_it] =
        std::minmax_element(axis_runs.begin(), axis_runs.end(),
                            [](const RunResult& a, const RunResult& b) { return a.scale < b.scale; });
    const auto lo = static_cast<std::size_t>(lo_it - axis_runs.begin());
    const auto hi = static_cast<std::size_t>(hi_it - axis_runs.begin());
    std::vector<std::pair<int, int>> moves;
    for (int a = -kSteps; a <= kSteps; ++a)
        for (int b = -kSteps; b <= kSteps; ++b) moves.emplace_back(a, b);
    std::stable_sort(moves.begin(), moves.end(), [](const auto& x, const auto& y) {
        return std::abs(x.first) + std::abs(x.second) < std::abs(y.first) + std::abs(y.second);
    });
    const std::vector<RunResult> printed = axis_runs;
    for (const auto& [a, b] : moves) {
        const double d_lo = kHalfUnit * a / kSteps, d_hi = kHalfUnit * b / kSteps;
        for (std::size_t i = 0; i < printed.size(); ++i) axis_runs[i].scale = printed[i].scale + (d_lo + d_hi) / 2;
        axis_runs[lo].scale = printed[lo].scale + d_lo;
        axis_runs[hi].scale = printed[hi].scale + d_hi;
        if (summary_axis_line(axis, summarize_axis(axis_runs, axis)) == want) return true;
    }
    axis_runs = printed;
    return false;
}

}  // namespace

bool fit_scales_to_summary(std::vector<LoggedRun>& runs, const LoggedSummary& summary) {
    bool all = true;
    for (int axis = 0; axis < 3; ++axis) {
        std::vector<RunResult> axis_runs = axis_results(runs, axis);
        if (axis_runs.empty()) continue;
        if (!fit_axis(axis_runs, axis, summary.axis_lines[static_cast<std::size_t>(axis)])) all = false;
        std::size_t k = 0;
        for (LoggedRun& r : runs)
            if (r.result.axis == axis) r.result.scale = axis_runs[k++].scale;
    }
    return all && summary.runs == runs.size();
}

}  // namespace vesko::report
