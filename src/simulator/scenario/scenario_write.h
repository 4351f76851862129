#pragma once

// A scenario written back as a scenario file, which reads back as the same scenario.

#include <string>

#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// The TOML text of `scenario`: its title, serial, jig, bus, operator errors
// and script (a run's six steps as one `run` step). Numbers are written to
// 17 significant digits, so parse_scenario of the text gives back the very
// same values and the session plays the same bytes. Expectations are not
// written.
std::string scenario_toml(const Scenario& scenario);

}  // namespace vesko::simulator
