#pragma once

// The per-axis summary printed at quit, with the consistency gate.

#include <cstdio>
#include <vector>

#include "console/rotation_run.h"

namespace vesko {

// The per-axis block printed when the operator quits with runs recorded:
// runs, mean scale, spread and deviations per axis, then the gate rule.
void print_summary(const std::vector<RunResult>& runs, std::FILE* out);

}  // namespace vesko
