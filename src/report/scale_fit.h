#pragma once

// The runs' scales narrowed to agree with the console's own summary.
//
// The console prints each scale with nine decimals but averages the exact
// values, so a mean recomputed from the printed scales differs in its last
// digit about one time in four. Each printed scale stands for any value
// within half a unit of its last decimal; where the log holds the console's
// summary, the values within those bounds that reproduce each axis line are
// taken instead, so what is recomputed from them (with runs left out or not)
// starts from the console's own arithmetic.

#include <vector>

#include "report/session_log.h"

namespace vesko::report {

// Narrows the scales of `runs` (all the runs of the log) axis by axis to
// reproduce `summary`; returns false, leaving an axis as printed, when no
// values within the printed rounding reproduce its line (lines lost from the
// log, or a summary that is not of these runs).
bool fit_scales_to_summary(std::vector<LoggedRun>& runs, const LoggedSummary& summary);

}  // namespace vesko::report
