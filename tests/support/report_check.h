#pragma once

// rotabench-report checked on a session's log in the forms tee, script and
// rotabench-sim keep it: it recomputes the console's summary byte for byte.

#include <string>

namespace vesko::test {

// Expects the report of `transcript` (with `diagnostics` as stray standard
// error lines in script's form) to print the transcript's own summary block,
// or to exit 1 when no run was accepted; `source` names it in failures.
// Returns whether the transcript has a summary.
bool expect_report_reproduces_summary(const std::string& source, const std::string& transcript,
                                      const std::string& diagnostics);

}  // namespace vesko::test
