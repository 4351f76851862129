#pragma once

// rotabench-sim --swarm: the swarm from the command line.

#include <cstdio>

#include "simulator/sim_command_line.h"

namespace vesko::swarm {

// Runs line.swarm_sessions drawn sessions and prints each finding and the
// tally; returns 0, kExitSwarmFinding on any finding, 2 when standard
// output cannot be written.
int run_swarm_command(const simulator::SimCommandLine& line, std::FILE* out, std::FILE* err);

}  // namespace vesko::swarm
