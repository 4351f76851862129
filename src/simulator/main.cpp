// rotabench-sim [SCENARIO.toml]: the calibration console on a simulated bus,
// with a scripted operator; with no argument, the built-in session.
#include <cstdio>

#include "simulator/sim_main.h"

int main(int argc, char** argv) { return vesko::simulator::sim_main(argc, argv, stdout, stderr); }
