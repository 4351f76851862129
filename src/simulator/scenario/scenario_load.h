#pragma once

// Reading a scenario from a TOML file or text, with errors that name the file, line and key.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// The names a reader looked up in one table of the file, there or not: the
// keys that table may hold. `table` as errors name it ("bus.modules[0]"; ""
// for the top level).
struct TableKeys {
    std::string table;
    std::vector<std::string> names;
};

// A scenario, or why there is none: "FILE:LINE: key "K": WHAT" (or
// "FILE: cannot read it" when the file cannot be read at all). `tables`:
// each table that was read to its end, inner tables before the one they are in.
struct ScenarioLoad {
    std::optional<Scenario> scenario;
    std::string error;
    std::vector<TableKeys> tables;
};

// A scenario file is at most this long, and its script at most this many
// [[script]] steps: past either, the scenario is refused before it is run.
inline constexpr std::size_t kMaxScenarioBytes = 1024 * 1024;
inline constexpr std::size_t kMaxScriptSteps = 10000;

// Reads a scenario from TOML text; `source_name` names it in errors.
ScenarioLoad parse_scenario(std::string_view text, const std::string& source_name);

ScenarioLoad load_scenario_file(const std::string& path);

}  // namespace vesko::simulator
