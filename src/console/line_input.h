#pragma once

// One line of the operator's input, read with getchar semantics.

#include <functional>
#include <string>

namespace vesko {

// Refills `line` with the characters up to the next newline (consumed, not
// stored) or the end of input; nothing else is stripped. Returns false only
// when the input had ended before a single character was read, so that the
// caller can tell a closed input from an empty line.
bool read_line(std::string& line, const std::function<int()>& read_char);

}  // namespace vesko
