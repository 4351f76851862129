// rotabench-sim [SCENARIO.toml]: the calibration console on a simulated bus,
// with a scripted operator; with no argument, the built-in session.
#include <cstdio>

#include "sim/sim_main.h"

int main(int argc, char** argv) { return vesko::sim::sim_main(argc, argv, stdout, stderr); }
