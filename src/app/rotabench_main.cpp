// rotabench: the operator's tool on the real module.
#include <cstdio>
#include <memory>

#include "console/console_input.h"
#include "console/console_window.h"
#include "console/program.h"
#include "platform/console_host.h"
#include "platform/interrupts.h"
#include "platform/native_platform.h"
#include "text/lost_output.h"

namespace {

int run(int argc, char** argv) {
    std::unique_ptr<vesko::platform::Platform> platform = vesko::platform::make_native_platform();
    const vesko::platform::ConsoleHost console = vesko::platform::native_console_host();
    vesko::platform::InterruptWatch interrupts(vesko::interrupt_action);
    const vesko::ConsoleIo io = vesko::standard_console_io(interrupts);
    return vesko::run_in_console_window(console, io, [&] {
        return vesko::run_program(argc, argv, vesko::live_reader(*platform, *io.clock, io.streams), io).exit_code;
    });
}

}  // namespace

int main(int argc, char** argv) {
    // Everything that prints is gone (the reader stopped, the console's window
    // let go) before standard output is closed.
    const int code = run(argc, argv);
    // Quitting is 0 whatever the figures, but not when the record of the
    // session never reached its file or pipe: the operator is told on
    // standard error, and the code says so. The other codes stand.
    const bool kept = vesko::text::output_kept(stdout, true, "rotabench", "standard output", stderr);
    return kept || code != 0 ? code : vesko::text::kExitOutputLost;
}
