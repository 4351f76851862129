#pragma once

// The built-in session of rotabench-sim.

#include <string_view>

namespace vesko::simulator {

// The built-in session, the text of scenarios/default.toml as it was built in.
std::string_view default_scenario_text();

}  // namespace vesko::simulator
