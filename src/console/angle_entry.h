#pragma once

// The angle the operator types at the console's question, read as the console reads it.

#include <optional>
#include <string>

namespace vesko {

// The angle in degrees that `line` starts a run with, read with atof as the
// console has always read it ("90deg" is 90); nullopt for a line that cannot
// start one: zero, negative, not finite, or an angle whose conversion to
// radians is not a normal positive number (1e-320 would give a scale of 0).
std::optional<double> accepted_angle(const std::string& line);

}  // namespace vesko
