#pragma once

// rotabench-report: a calibration session's log read back, checked and summarised again.

#include <cstdio>

namespace vesko::report {

inline constexpr const char* kReportUsage =
    "usage: rotabench-report [--drop N[,N...]] [--csv | --json] LOG   (LOG - reads standard input)\n";

// Exit codes: 0 report written, 1 no runs to summarise, 2 bad command line or
// a log that cannot be read or is not one rotabench session.
int report_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace vesko::report
