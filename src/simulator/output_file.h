#pragma once

// A file rotabench-sim is told to write, opened before any work is done on
// it, so that a name it cannot write is refused at once.

#include <cstdio>
#include <string>
#include <variant>

namespace vesko::simulator {

// The file opened for writing (emptied), or why it cannot be: "is a folder",
// "no folder out/plots", or the system's reason.
std::variant<std::FILE*, std::string> open_for_writing(const std::string& path);

// Writes `text` to `file` and closes it; the system's reason when a byte did
// not reach the file (a full disk).
std::variant<std::monostate, std::string> write_and_close(std::FILE* file, const std::string& text);

}  // namespace vesko::simulator
