#pragma once

// The sections of a scenario file: title, serial and jig, the [bus] with its
// modules (and their [model]) and MCUs, [operator], [expect] and the script.

#include <optional>

#include "simulator/scenario/checked_fields.h"
#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// The scenario the root table describes, or nullopt with `r`'s error set.
std::optional<Scenario> read_sections(FieldReader& r, const toml::table& root);

}  // namespace vesko::simulator
