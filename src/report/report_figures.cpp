#include "report/report_figures.h"

#include <cstddef>

namespace vesko::report {

ReportFigures work_out(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped) {
    ReportFigures f;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (!dropped[i]) f.kept.push_back(runs[i].result);
    f.two_runs_every_axis = true;
    bool every_axis = true;
    for (int a = 0; a < 3; ++a) {
        auto& axis = f.axes[static_cast<std::size_t>(a)];
        axis = summarize_axis(f.kept, a);
        if (!axis) every_axis = false;
        if (!axis || axis->runs < 2) f.two_runs_every_axis = false;
    }
    if (every_axis) {
        double sum = 0;
        for (int a = 0; a < 3; ++a) {
            const double m = f.axes[static_cast<std::size_t>(a)]->mean;
            sum += m;
            if (m > f.axes[static_cast<std::size_t>(f.largest_axis)]->mean) f.largest_axis = a;
            if (m < f.axes[static_cast<std::size_t>(f.smallest_axis)]->mean) f.smallest_axis = a;
        }
        const double largest = f.axes[static_cast<std::size_t>(f.largest_axis)]->mean;
        const double smallest = f.axes[static_cast<std::size_t>(f.smallest_axis)]->mean;
        f.gate_pct = (largest - smallest) / (sum / 3) * 100.0;
    }
    return f;
}

}  // namespace vesko::report
