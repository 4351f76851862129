#pragma once

// The command line: `[--imu-serial VALUE]`, and the usage line for anything else.

#include <optional>
#include <string>

namespace vesko {

// The serial number asked for on the command line ("" for the automatic
// choice), or nullopt when the command line is not `[--imu-serial VALUE]...`.
// The value is taken as it stands, even empty or starting with dashes; the
// last one given wins.
std::optional<std::string> parse_command_line(int argc, const char* const* argv);

}  // namespace vesko
