#pragma once

// OutputStreams: where a component prints its dialogue and its diagnostics.

#include <cstdio>

namespace vesko {

// Where a component prints: the dialogue and results on `out`, diagnostics
// on `err`. Tests and the simulated program pass their own.
struct OutputStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

}  // namespace vesko
