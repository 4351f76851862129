#pragma once

// The per-axis summary printed at quit.

#include <optional>
#include <string>
#include <vector>

#include "calibration/run_summary.h"
#include "text/streams.h"

namespace vesko {

// That axis's line of the summary, without its line end.
std::string summary_axis_line(int axis, const std::optional<AxisSummary>& summary);

// The per-axis block printed when the operator quits with runs recorded:
// runs, mean scale, spread and deviations per axis, then the gate rule.
void print_summary(const std::vector<RunResult>& runs, TextSink out);

}  // namespace vesko
