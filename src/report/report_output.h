#pragma once

// The report in the three forms it is written in: text for the operator,
// CSV and JSON for a factory's records.

#include <cstdio>
#include <string>
#include <vector>

#include "report/report_figures.h"
#include "report/session_log.h"

namespace vesko::report {

struct ReportInput {
    std::string log_name;  // as given on the command line ("-" for standard input)
    const SessionLog* log = nullptr;
    std::vector<bool> dropped;  // one per run of the log
    ReportFigures figures;
};

// The runs numbered, the dropped ones marked, the console's summary block
// recomputed from the kept runs, then the gate figure.
void write_text(const ReportInput& in, std::FILE* out);

// One record per run (dropped ones included, marked), one per axis, one for the gate.
void write_csv(const ReportInput& in, std::FILE* out);

void write_json(const ReportInput& in, std::FILE* out);

}  // namespace vesko::report
