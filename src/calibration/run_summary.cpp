#include "calibration/run_summary.h"

#include <cmath>

namespace vesko {

std::optional<AxisSummary> summarize_axis(const std::vector<RunResult>& runs, int axis) {
    int k = 0;
    double sum = 0, smallest = 1e9, largest = 0;
    for (const RunResult& r : runs) {
        if (r.axis != axis) continue;
        sum += r.scale;
        smallest = std::fmin(smallest, r.scale);
        largest = std::fmax(largest, r.scale);
        ++k;
    }
    if (k == 0) return std::nullopt;
    const double mean = sum / k;
    return AxisSummary{k, mean, (largest - smallest) / mean * 100.0, vs_1024_pct(mean), vs_0001_pct(mean)};
}

AxisSummaries summarize_axes(const std::vector<RunResult>& runs) {
    AxisSummaries axes;
    for (int a = 0; a < 3; ++a) axes[static_cast<std::size_t>(a)] = summarize_axis(runs, a);
    return axes;
}

std::optional<GateFigure> gate_figure(const AxisSummaries& axes) {
    GateFigure g;
    double sum = 0;
    for (int a = 0; a < 3; ++a) {
        const auto& axis = axes[static_cast<std::size_t>(a)];
        if (!axis) return std::nullopt;
        sum += axis->mean;
        if (axis->mean > axes[static_cast<std::size_t>(g.largest_axis)]->mean) g.largest_axis = a;
        if (axis->mean < axes[static_cast<std::size_t>(g.smallest_axis)]->mean) g.smallest_axis = a;
    }
    const double largest = axes[static_cast<std::size_t>(g.largest_axis)]->mean;
    const double smallest = axes[static_cast<std::size_t>(g.smallest_axis)]->mean;
    g.pct = (largest - smallest) / (sum / 3) * 100.0;
    return g;
}

}  // namespace vesko
