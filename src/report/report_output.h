#pragma once

// The report in the three forms it is written in: text for the operator,
// CSV and JSON lines for a factory's records.

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

// The verdict as the records name it: PASS, FAIL or NOT DECIDED.
const char* verdict_name(Verdict v);

// The runs numbered, the dropped and suspect ones marked, the console's
// summary block recomputed from the kept runs, the statistics, the verdict.
void write_text(const ReportInput& in, std::FILE* out);

// The CSV's header line, then one record per run (dropped ones included,
// marked), one per axis and one for the gate, each naming its log.
void write_csv_header(std::FILE* out);
void write_csv(const ReportInput& in, std::FILE* out);

// One JSON object on one line.
void write_json(const ReportInput& in, std::FILE* out);

}  // namespace vesko::report
