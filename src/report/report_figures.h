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
    std::array<std::optional<AxisSummary>, 3> axes;   // X, Y, Z
    // Largest per-axis mean minus the smallest, in percent of the three
    // means' average; nullopt unless every axis has a run.
    std::optional<double> gate_pct;
    int largest_axis = 0, smallest_axis = 0;
    bool two_runs_every_axis = false;
};

ReportFigures work_out(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped);

}  // namespace vesko::report
