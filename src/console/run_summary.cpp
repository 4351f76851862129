#include "console/run_summary.h"

#include <cmath>

#include "console/printf_text.h"

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
    return AxisSummary{k, mean, (largest - smallest) / mean * 100.0, (mean * 1024.0 - 1.0) * 100.0,
                       (mean / 0.001 - 1.0) * 100.0};
}

std::string summary_axis_line(int axis, const std::optional<AxisSummary>& s) {
    if (!s) return std::string(1, axis_letter(axis)) + ": NO RUNS \u2014 gate requires all axes";
    return printf_text("%c: %d runs  mean %.9f  spread %.2f%%  vs 1/1024 %+.2f%%  vs 0.001 %+.2f%%", axis_letter(axis),
                       s->runs, s->mean, s->spread_pct, s->vs_1024_pct, s->vs_0001_pct);
}

void print_summary(const std::vector<RunResult>& runs, std::FILE* out) {
    std::fprintf(out, "\n==== summary (%zu runs) ====\n", runs.size());
    for (int a = 0; a < 3; ++a) std::fprintf(out, "%s\n", summary_axis_line(a, summarize_axis(runs, a)).c_str());
    std::fprintf(out, "gate: per-axis mean must sit within ~2%% of one consistent value on all three axes\n");
}

}  // namespace vesko
