#pragma once

// Host time: the monotonic steady clock in nanoseconds.

#include <chrono>
#include <cstdint>

namespace vesko {

// Nanoseconds of the monotonic steady clock: host time for report arrival
// and sample age.
using SteadyNowFn = std::int64_t (*)();

inline std::int64_t steady_now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace vesko
