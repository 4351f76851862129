// rotabench-sim [SCENARIO.toml]: the calibration console on a simulated bus,
// with a scripted operator (or, rehearsing, the person at the keyboard); with
// no argument, the built-in session. Its main
// sits above the simulator and the swarm, and hands the one the other.
#include <cstdio>

#include "platform/console_host.h"
#include "simulator/sim_main.h"
#include "swarm/swarm_command.h"
#include "text/lost_output.h"

int main(int argc, char** argv) {
    // A rehearsal in a window of its own keeps it open at the end, as rotabench does.
    const vesko::platform::ConsoleHost console = vesko::platform::native_console_host();
    const int code = vesko::simulator::sim_main(argc, argv, stdout, stderr, vesko::swarm::run_swarm_command, &console);
    const bool kept = vesko::text::output_kept(stdout, true, "rotabench-sim", "standard output", stderr);
    return kept ? code : vesko::text::kExitOutputLost;
}
