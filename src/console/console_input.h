#pragma once

// The console's input: its command line (`[--imu-serial VALUE]`), the
// operator's lines, read with getchar semantics, the angle typed at its
// question; and what Ctrl-C, a termination request or a closed console window
// does to a calibration session.

#include <functional>
#include <optional>
#include <string>

#include "platform/interrupts.h"

namespace vesko {

// The serial number asked for on the command line ("" for the automatic
// choice), or nullopt when the command line is not `[--imu-serial VALUE]...`.
// The value is taken as it stands, even empty or starting with dashes; the
// last one given wins.
std::optional<std::string> parse_command_line(int argc, const char* const* argv);

// Refills `line` with the characters up to the next newline (consumed, not
// stored) or the end of input; nothing else is stripped. Returns false only
// when the input had ended before a single character was read, so that the
// caller can tell a closed input from an empty line.
bool read_line(std::string& line, const std::function<int()>& read_char);

// The angle in degrees that `line` starts a run with, read with atof as the
// console has always read it ("90deg" is 90); nullopt for a line that cannot
// start one: zero, negative, not finite, or an angle whose conversion to
// radians is not a normal positive number (1e-320 would give a scale of 0).
std::optional<double> accepted_angle(const std::string& line);

// The first interrupt stops the session as the operator's quit would, so
// that the runs accepted so far are summed up and not lost; a closed window
// is held until then, since the system ends the program as soon as its
// handler returns. Any later interrupt ends the program at once. Safe in a
// signal handler.
platform::InterruptAction interrupt_action(platform::InterruptKind kind, unsigned earlier);

}  // namespace vesko
