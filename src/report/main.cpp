// rotabench-report LOG...: the accepted runs of each calibration session's log, its
// summary recomputed (with runs left out if asked), and the gate's verdict.
#include <cstdio>

#include "report/report_main.h"
#include "text/lost_output.h"

int main(int argc, char** argv) {
    const int code = vesko::report::report_main(argc, argv, stdin, stdout, stderr);
    // A report that did not reach its file is no report, whatever its verdict.
    const bool kept = vesko::text::output_kept(stdout, true, "rotabench-report", "standard output", stderr);
    return kept ? code : vesko::text::kExitOutputLost;
}
