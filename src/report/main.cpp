// rotabench-report LOG...: the accepted runs of each calibration session's log, its
// summary recomputed (with runs left out if asked), and the gate's verdict.
#include <cstdio>

#include "console/console_window.h"
#include "platform/console_host.h"
#include "report/report_main.h"

int main(int argc, char** argv) {
    // The summary's "NO RUNS" line has an em dash: shown as one on a Windows console too.
    const vesko::platform::ConsoleHost console = vesko::platform::native_console_host();
    const vesko::Utf8ConsoleOutput utf8(console);
    return vesko::report::report_main(argc, argv, stdin, stdout, stderr);
}
