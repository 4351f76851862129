#include "report/report_figures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "text/printf_text.h"

namespace vesko::report {
namespace {

// The statistics work on the scales over a power of two near the largest of
// them: the same figures to the last bit (such a division is exact), and no
// square or sum overflows however large an edited scale is. A figure that a
// double still cannot hold is left out with the others of its line.
AxisStatistics statistics_of(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped, int axis) {
    std::vector<double> all;
    std::vector<char> signs;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (dropped[i] || runs[i].result.axis != axis || runs[i].result.angle_deg > kJigAngleLimitDeg) continue;
        all.push_back(runs[i].result.scale);
        signs.push_back(runs[i].sign);
    }
    AxisStatistics st;
    const auto n = static_cast<int>(all.size());
    if (n == 0) return st;
    int e = 0;
    std::frexp(*std::max_element(all.begin(), all.end()), &e);
    double mean = 0, plus = 0, minus = 0;
    int n_plus = 0, n_minus = 0;
    for (std::size_t k = 0; k < all.size(); ++k) {
        all[k] = std::ldexp(all[k], -e);
        mean += all[k] / n;
        (signs[k] == '+' ? plus : minus) += all[k];
        ++(signs[k] == '+' ? n_plus : n_minus);
    }
    if (n >= 2) {
        double ss = 0;
        for (double s : all) ss += (s - mean) * (s - mean);
        const double sd = std::sqrt(ss / (n - 1)), sem = sd / std::sqrt(static_cast<double>(n));
        const double low = std::ldexp(mean - t975(n - 1) * sem, e), high = std::ldexp(mean + t975(n - 1) * sem, e);
        if (std::isfinite(low) && std::isfinite(high))
            st.sd = std::ldexp(sd, e), st.sem = std::ldexp(sem, e), st.ci_low = low, st.ci_high = high;
    }
    if (n_plus > 0 && n_minus > 0) st.asymmetry_pct = (plus / n_plus - minus / n_minus) / mean * 100.0;
    return st;
}

// Per run, the median scale of the other runs on its axis (nullopt when it
// has none): each axis's scales sorted once, and a run's own place in them
// skipped, so the figure is the same as from a sorted copy of the others.
std::vector<std::optional<double>> medians_of_others(const std::vector<LoggedRun>& runs) {
    std::vector<std::optional<double>> out(runs.size());
    for (int axis = 0; axis < 3; ++axis) {
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < runs.size(); ++i)
            if (runs[i].result.axis == axis) order.push_back(i);
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return runs[a].result.scale < runs[b].result.scale; });
        const std::size_t m = order.size() - (order.empty() ? 0 : 1);  // the others' count
        for (std::size_t rank = 0; rank < order.size() && m > 0; ++rank) {
            const auto other = [&](std::size_t k) { return runs[order[k < rank ? k : k + 1]].result.scale; };
            out[order[rank]] = m % 2 ? other(m / 2) : (other(m / 2 - 1) + other(m / 2)) / 2;
        }
    }
    return out;
}

// Why the run looks wrong, or "", given the median of its axis's other runs.
std::string suspect_reason(const LoggedRun& r, const std::optional<double>& median) {
    if (r.result.angle_deg > kJigAngleLimitDeg)
        return printf_text("angle %g deg is over ten turns (%g deg): a wrong angle typed?", r.result.angle_deg,
                           kJigAngleLimitDeg);
    if (r.result.leakage > kSuspectLeakage)
        return printf_text("leakage %.1f%% is over %.0f%%: a crooked mount?", r.result.leakage * 100.0,
                           kSuspectLeakage * 100.0);
    const double scale = r.result.scale;
    const auto off = [&](double reference) { return std::fabs(scale / reference - 1.0) > kSuspectScaleOff; };
    if (!off(1.0 / 1024.0) || !off(0.001)) return "";
    if (!median)
        return printf_text("scale %+.1f%% from 1/1024: a wrong turn, or a wrong angle typed?", vs_1024_pct(scale));
    if (!off(*median)) return "";
    return printf_text("scale %+.1f%% from the axis's other runs: a wrong turn, or a wrong angle typed?",
                       (scale / *median - 1.0) * 100.0);
}

}  // namespace

double t975(int df) {
    static constexpr double table[] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                                       2.201,  2.179, 2.160, 2.145, 2.131, 2.120, 2.110, 2.101, 2.093, 2.086,
                                       2.080,  2.074, 2.069, 2.064, 2.060, 2.056, 2.052, 2.048, 2.045, 2.042};
    if (df < 1) return NAN;
    if (df <= 30) return table[df - 1];
    // Past the table, the normal quantile with the first terms of its expansion in 1/df.
    const double z = 1.959964, g1 = (z * z * z + z) / 4, g2 = (5 * std::pow(z, 5) + 16 * z * z * z + 3 * z) / 96;
    return z + g1 / df + g2 / (static_cast<double>(df) * df);
}

ReportFigures work_out(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped, double gate_limit_pct) {
    ReportFigures f;
    f.gate_limit_pct = gate_limit_pct;
    const auto medians = medians_of_others(runs);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (!dropped[i]) f.kept.push_back(runs[i].result);
        f.suspect.push_back(suspect_reason(runs[i], medians[i]));
    }
    f.axes = summarize_axes(f.kept);
    f.two_runs_every_axis = true;
    for (int a = 0; a < 3; ++a) {
        const auto& axis = f.axes[static_cast<std::size_t>(a)];
        if (!axis || axis->runs < 2) f.two_runs_every_axis = false;
        f.statistics[static_cast<std::size_t>(a)] = statistics_of(runs, dropped, a);
    }
    f.gate = gate_figure(f.axes);
    if (f.gate && f.two_runs_every_axis) f.verdict = f.gate->pct <= gate_limit_pct ? Verdict::Pass : Verdict::Fail;
    return f;
}

}  // namespace vesko::report
