// rotabench-sim [SCENARIO.toml]: the calibration console on a simulated bus,
// with a scripted operator; with no argument, the built-in session. Its main
// sits above the simulator and the swarm, and hands the one the other.
#include <cstdio>

#include "platform/lost_output.h"
#include "simulator/sim_main.h"
#include "swarm/swarm_command.h"

int main(int argc, char** argv) {
    const int code = vesko::simulator::sim_main(argc, argv, stdout, stderr, vesko::swarm::run_swarm_command);
    const bool kept = vesko::platform::output_kept(stdout, true, "rotabench-sim", "standard output", stderr);
    return kept ? code : vesko::platform::kExitOutputLost;
}
