#pragma once

// The two-second bias capture: the still module's per-axis bias and noise, or the starved-stream
// refusal.

#include <array>
#include <optional>

#include "console/cal_accumulator.h"
#include "console/program.h"

namespace vesko {

// Fewer samples than this in the 2 s window means a stream too slow to trust.
inline constexpr unsigned long long kMinBiasSamples = 1000;

// Per-axis mean and population standard deviation of the bias window.
struct BiasFigures {
    std::array<double, 3> mean{};
    std::array<double, 3> sd{};
    unsigned long long count = 0;
};

// Pure: the figures from the window's sums (all zero when n is 0).
BiasFigures bias_figures(const double sum[3], const double sum_sq[3], unsigned long long n);

// The 2 s capture with the jig held still: prints the capture line and its
// outcome; the three means on success, nullopt when the stream was starved.
std::optional<std::array<double, 3>> capture_bias(CalAccumulator& acc, const ConsoleIo& io);

}  // namespace vesko
