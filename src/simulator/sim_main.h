#pragma once

// rotabench-sim's entry: its command line, the scenario or the built-in session, in real time.

#include <cstdio>
#include <functional>

#include "platform/console_host.h"
#include "simulator/sim_command_line.h"

namespace vesko::simulator {

// rotabench-sim's command line: [SCENARIO.toml]. Runs the scenario (or the
// built-in session) in real time, printing on `out` and `err`. Returns the
// console's exit code; 2 for a bad command line or a scenario that cannot be
// read or is invalid (with the file, line and key on `err`).
// A swarm (--swarm) is run by `swarm`, which the program's main passes from
// the layer above; without one, --swarm is refused. A rehearsal (--rehearse)
// reads the keyboard of standard input and, in a console window of its own
// (as `console` tells), holds the window open at the end as rotabench does.
using SwarmCommand = std::function<int(const SimCommandLine& line, std::FILE* out, std::FILE* err)>;
int sim_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const SwarmCommand& swarm = {},
             const platform::ConsoleHost* console = nullptr);

}  // namespace vesko::simulator
