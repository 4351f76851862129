#pragma once

// A file rotabench-sim is told to write, opened before any work is done on
// it, so that a name it cannot write is refused at once (what is written to
// it is checked when it is closed: text/lost_output.h).

#include <cstdio>
#include <string>
#include <variant>

namespace vesko::simulator {

// The file opened for writing (emptied), or why it cannot be: "is a folder",
// "no folder out/plots", or the system's reason.
std::variant<std::FILE*, std::string> open_for_writing(const std::string& path);

}  // namespace vesko::simulator
