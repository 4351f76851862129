#pragma once

// rotabench-sim --study: its destinations checked, the sessions run, the
// table (or the rows) printed and the drawing written.

#include <cstdio>
#include <string>

#include "simulator/scenario/scenario.h"
#include "simulator/sim_command_line.h"

namespace vesko::simulator {

// Runs the study `line` asks for on `scenario` (named `name` in the output).
// Returns 0; 2 when a destination cannot be written (before any session runs,
// but for the drawing's bytes, which are written after the table);
// kExitStudyWithoutSummary when no session printed a mean.
int run_study_command(const SimCommandLine& line, const Scenario& scenario, const std::string& name,
                      std::FILE* out, std::FILE* err);

}  // namespace vesko::simulator
