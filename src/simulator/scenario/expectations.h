#pragma once

// A scenario's expectations checked against what its session printed.

#include <optional>
#include <string>
#include <string_view>

#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// The first expectation the session did not meet, in words; nullopt when it
// met them all. The lines for virtual time count only in virtual time.
std::optional<std::string> first_unmet(const Expectation& expect, bool virtual_time, int exit_code,
                                       std::string_view out, std::string_view err);

}  // namespace vesko::simulator
