// rotabench-sim [SCENARIO.toml]: the calibration console on a simulated bus,
// with a scripted operator; with no argument, the built-in session. Its main
// sits above the simulator and the swarm, and hands the one the other.
#include <cstdio>

#include "simulator/sim_main.h"
#include "swarm/swarm_command.h"

int main(int argc, char** argv) {
    return vesko::simulator::sim_main(argc, argv, stdout, stderr, vesko::swarm::run_swarm_command);
}
