#pragma once

// rotabench-sim --study: its destinations checked, the sessions run, the
// table (or the rows) printed and the drawing written.

#include <cstdio>
#include <string>

#include "simulator/scenario/scenario.h"
#include "simulator/sim_command_line.h"

namespace vesko::simulator {

// Runs the study `line` asks for on `scenario` (named `name` in the output).
// Returns 0; 2 when the drawing's file cannot be opened, and
// text::kExitOutputLost when standard output cannot be written (both
// found before any session runs) or the drawing's bytes did not reach its
// file (written after the table); kExitStudyWithoutSummary when no session
// printed a mean.
int run_study_command(const SimCommandLine& line, const Scenario& scenario, const std::string& name, std::FILE* out,
                      std::FILE* err);

}  // namespace vesko::simulator
