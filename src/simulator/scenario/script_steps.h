#pragma once

// The scenario's [[script]]: the operator's steps, and the faults the bench
// sets off, each read and checked.

#include "simulator/scenario/checked_fields.h"
#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// Appends the steps to `s.script`; faults name modules of `s`'s bus.
bool read_script(FieldReader& r, const toml::array& steps, Scenario& s);

}  // namespace vesko::simulator
