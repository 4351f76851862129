#pragma once

// rotabench-report --matrix: the module's whole 3x3 calibration fitted from a
// session's kept runs, in the report's three forms, with the C array a
// firmware engineer pastes.

#include <cstdio>

#include "report/matrix_verdict.h"
#include "report/report_output.h"

namespace vesko::report {

// The runs the fit took (and the --drop that left others out), then the
// matrix, its standard errors, each kept run's residual, the scales about
// each axis alone, the note on what the jig cannot tell apart, and the C
// array; or, refused, why there is no matrix: the suspect runs kept and the
// --drop that leaves them out, which axis has no run, how far from square
// the runs are, or which run's residual is over the bound (with each run's
// residual), and neither K nor the array.
void write_matrix_text(const ReportInput& in, const MatrixVerdict& v, std::FILE* out);

// The CSV's header line, then one record per element of K, one per kept run's
// residual, or one saying why there is no matrix.
void write_matrix_csv_header(std::FILE* out);
void write_matrix_csv(const ReportInput& in, const MatrixVerdict& v, std::FILE* out);

// One JSON object on one line; "matrix": null and "refused" when there is none.
void write_matrix_json(const ReportInput& in, const MatrixVerdict& v, std::FILE* out);

}  // namespace vesko::report
