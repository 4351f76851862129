// rotabench-report LOG...: the accepted runs of each calibration session's log, its
// summary recomputed (with runs left out if asked), and the gate's verdict.
#include <cstdio>

#include "platform/lost_output.h"
#include "report/report_main.h"

int main(int argc, char** argv) {
    const int code = vesko::report::report_main(argc, argv, stdin, stdout, stderr);
    // A report that did not reach its file is no report, whatever its verdict.
    const bool kept = vesko::platform::output_kept(stdout, true, "rotabench-report", "standard output", stderr);
    return kept ? code : vesko::platform::kExitOutputLost;
}
