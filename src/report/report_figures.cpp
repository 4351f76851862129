#include "report/report_figures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "platform/printf_text.h"

namespace vesko::report {
namespace {

AxisStatistics statistics_of(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped, int axis) {
    std::vector<double> all;
    double plus = 0, minus = 0;
    int n_plus = 0, n_minus = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (dropped[i] || runs[i].result.axis != axis) continue;
        const double s = runs[i].result.scale;
        all.push_back(s);
        (runs[i].sign == '+' ? plus : minus) += s;
        ++(runs[i].sign == '+' ? n_plus : n_minus);
    }
    AxisStatistics st;
    const auto n = static_cast<int>(all.size());
    if (n == 0) return st;
    double mean = 0;
    for (double s : all) mean += s / n;
    if (n >= 2) {
        double ss = 0;
        for (double s : all) ss += (s - mean) * (s - mean);
        st.sd = std::sqrt(ss / (n - 1));
        st.sem = *st.sd / std::sqrt(static_cast<double>(n));
        st.ci_low = mean - t975(n - 1) * *st.sem;
        st.ci_high = mean + t975(n - 1) * *st.sem;
    }
    if (n_plus > 0 && n_minus > 0) st.asymmetry_pct = (plus / n_plus - minus / n_minus) / mean * 100.0;
    return st;
}

// Why the run `i` looks wrong, or "".
std::string suspect_reason(const std::vector<LoggedRun>& runs, std::size_t i) {
    const LoggedRun& r = runs[i];
    if (r.result.leakage > kSuspectLeakage)
        return printf_text("leakage %.1f%% is over %.0f%%: a crooked mount?", r.result.leakage * 100.0,
                           kSuspectLeakage * 100.0);
    std::vector<double> others;
    for (std::size_t k = 0; k < runs.size(); ++k)
        if (k != i && runs[k].result.axis == r.result.axis) others.push_back(runs[k].result.scale);
    const double scale = r.result.scale;
    const auto off = [&](double reference) { return std::fabs(scale / reference - 1.0) > kSuspectScaleOff; };
    if (!off(1.0 / 1024.0) || !off(0.001)) return "";
    if (others.empty())
        return printf_text("scale %+.1f%% from 1/1024: a wrong turn, or a wrong angle typed?",
                           vs_1024_pct(scale));
    std::sort(others.begin(), others.end());
    const std::size_t m = others.size();
    const double median = m % 2 ? others[m / 2] : (others[m / 2 - 1] + others[m / 2]) / 2;
    if (!off(median)) return "";
    return printf_text("scale %+.1f%% from the axis's other runs: a wrong turn, or a wrong angle typed?",
                       (scale / median - 1.0) * 100.0);
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
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (!dropped[i]) f.kept.push_back(runs[i].result);
        f.suspect.push_back(suspect_reason(runs, i));
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
