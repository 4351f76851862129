#pragma once

// Whether a standard stream is a terminal a person watches, for output that
// only makes sense there (a progress line that rewrites itself).

#include <cstdio>

namespace vesko::platform {

// Each backend library defines it (its terminal.cpp).
bool is_terminal(std::FILE* stream);

}  // namespace vesko::platform
