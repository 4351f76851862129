#pragma once

// A calibration session read back from what the console wrote: the module,
// the accepted runs, and the console's own summary when it printed one.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/run_result.h"

namespace vesko::report {

// One accepted run as the console printed it.
struct LoggedRun {
    int number = 0;                  // 1-based, in the order the runs were accepted
    std::size_t line = 0;            // the line of its scale in the log
    RunResult result;                // axis, angle, scale, leakage (fraction), integral, as printed
    char sign = '+';                 // direction of the turn on the dominant axis
    unsigned long long samples = 0;  // sample intervals integrated
    double max_dt = 0;               // longest interval, seconds
    bool has_integral = false;       // its integral line was in the log
};

// The console's summary block, its axis lines as printed.
struct LoggedSummary {
    std::size_t runs = 0;
    std::array<std::string, 3> axis_lines;
};

struct SessionLog {
    bool is_session = false;  // any line that only the console writes
    std::string serial;       // from "IMU streaming from"; empty if none
    std::string started;      // when the recording began, from script's header; empty if none
    std::vector<LoggedRun> runs;
    std::optional<LoggedSummary> summary;  // a session's one block (a second one is a bad line)
    std::size_t second_session_line = 0;   // a second streaming line: two sessions in one log
    // The first line that has the console's words for a figure but not in the
    // form the console prints them (an edit, a cut, a corruption): the log
    // cannot be trusted, and nothing else of it is.
    std::size_t bad_line = 0;
    std::string bad_what;
};

// Reads a log of the console's standard output, as kept by tee, by script
// or by rotabench-sim (UTF-8, or UTF-16 with its byte-order mark). Each line is searched for the console's own text, so
// CR-LF ends, typed answers, a terminal's echo, prompts run together with the
// next line (tee keeps no typed line ends) and stray stderr lines do no harm;
// what the operator typed after a question is never searched, whatever its words.
SessionLog read_session_log(std::string_view text);

}  // namespace vesko::report
