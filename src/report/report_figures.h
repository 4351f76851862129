#pragma once

// What the report works out from the runs it keeps: the console's per-axis
// figures and the gate figure the operator applies by hand.

#include <array>
#include <optional>
#include <vector>

#include "console/run_summary.h"
#include "report/session_log.h"

namespace vesko::report {

struct ReportFigures {
    std::vector<RunResult> kept;                      // in log order, without the dropped runs
    AxisSummaries axes;
    std::optional<GateFigure> gate;                   // nullopt unless every axis has a run
    bool two_runs_every_axis = false;
};

ReportFigures work_out(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped);

}  // namespace vesko::report
