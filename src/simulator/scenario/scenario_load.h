#pragma once

// Reading a scenario from a TOML file or text, with errors that name the file, line and key.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// A scenario, or why there is none: "FILE:LINE: key "K": WHAT" (or
// "FILE: cannot read it" when the file cannot be read at all).
struct ScenarioLoad {
    std::optional<Scenario> scenario;
    std::string error;
};

// A scenario file is at most this long, and its script at most this many
// [[script]] steps: past either, the scenario is refused before it is run.
inline constexpr std::size_t kMaxScenarioBytes = 1024 * 1024;
inline constexpr std::size_t kMaxScriptSteps = 10000;

// Reads a scenario from TOML text; `source_name` names it in errors.
ScenarioLoad parse_scenario(std::string_view text, const std::string& source_name);

ScenarioLoad load_scenario_file(const std::string& path);

}  // namespace vesko::simulator
