// rotabench-report LOG...: the accepted runs of each calibration session's log, its
// summary recomputed (with runs left out if asked), and the gate's verdict.
#include <cstdio>

#include "report/report_main.h"

int main(int argc, char** argv) { return vesko::report::report_main(argc, argv, stdin, stdout, stderr); }
