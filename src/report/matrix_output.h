#pragma once

// rotabench-report --matrix: the module's whole 3x3 calibration fitted from a
// session's kept runs, in the report's three forms, with the C array a
// firmware engineer pastes.

#include <cstdio>

#include "console/cross_axis_fit.h"
#include "report/report_output.h"

namespace vesko::report {

// The fit of the kept runs of `in` (the runs of the log without the dropped ones).
CrossAxisOutcome fit_kept_runs(const ReportInput& in);

// The matrix, its standard errors, each kept run's residual, the scales about
// each axis alone, the note on what the jig cannot tell apart, and the C
// array; or, refused, which axis has no run or how far from square the runs
// are, and no matrix.
void write_matrix_text(const ReportInput& in, const CrossAxisOutcome& fit, std::FILE* out);

// The CSV's header line, then one record per element of K, one per kept run's
// residual, or one saying why there is no matrix.
void write_matrix_csv_header(std::FILE* out);
void write_matrix_csv(const ReportInput& in, const CrossAxisOutcome& fit, std::FILE* out);

// One JSON object on one line; "matrix": null and "refused" when there is none.
void write_matrix_json(const ReportInput& in, const CrossAxisOutcome& fit, std::FILE* out);

}  // namespace vesko::report
