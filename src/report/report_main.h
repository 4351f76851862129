#pragma once

// rotabench-report: calibration sessions' logs read back, checked, summarised
// again and judged against the gate.

#include <cstdio>

namespace vesko::report {

inline constexpr const char* kReportUsage =
    "usage: rotabench-report [--gate PCT] [--drop N[,N...]] [--matrix] [--csv | --json] LOG...   (LOG - reads standard "
    "input)\n"
    "       rotabench-report --version | --help\n";

// Exit codes, for one log or the worst of several (with --matrix, 0 when the
// matrix is printed and the gate is not judged):
//   0 every log's gate passed
//   1 a log has no runs to summarise
//   2 a bad command line, or a log that cannot be read, is not one rotabench
//     session, or has a line the console did not print as it stands
//   3 a log's gate failed; with --matrix, the matrix refused: a suspect run
//     kept, or a run's residual over kMaxResidualDeg
//   4 not decided: an axis has fewer than two runs; with --matrix, no matrix:
//     an axis without a run, or runs too close to one plane
// and, whatever the logs, text::kExitOutputLost (74) when the report did
// not reach standard output (main.cpp).
inline constexpr int kExitPass = 0, kExitNoRuns = 1, kExitError = 2, kExitFail = 3, kExitNotDecided = 4;

int report_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace vesko::report
