#include "report/report_figures.h"

#include <cstddef>

namespace vesko::report {

ReportFigures work_out(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped) {
    ReportFigures f;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (!dropped[i]) f.kept.push_back(runs[i].result);
    f.axes = summarize_axes(f.kept);
    f.two_runs_every_axis = true;
    for (const auto& axis : f.axes)
        if (!axis || axis->runs < 2) f.two_runs_every_axis = false;
    f.gate = gate_figure(f.axes);
    return f;
}

}  // namespace vesko::report
