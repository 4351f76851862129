#pragma once

// The scale of a study's drawing: symmetric about zero, with ticks at round
// steps (1, 2 or 5 times a power of ten) across all of it.

#include <string>
#include <vector>

namespace vesko::simulator {

struct ErrorScale {
    double span_pct = 0.1;            // the scale runs from -span to +span, in percent
    double step_pct = 0.05;           // between two ticks
    std::vector<double> ticks_pct{};  // from -span to +span, zero among them
    int decimals = 2;                 // enough to tell two ticks apart
};

// The smallest round step (1, 2 or 5 times a power of ten) no smaller than `at_least` (> 0).
double round_step(double at_least);

// A scale that holds every error up to `largest_pct` (0: none; 0.1% then)
// with a little margin, at most about `most_ticks` ticks, ending on a tick.
ErrorScale error_scale(double largest_pct, int most_ticks);

// A scale fixed to +/- `span_pct`, ticks as above inside it.
ErrorScale fixed_error_scale(double span_pct, int most_ticks);

// "-0.2%", "0", "+0.2%", to `decimals` places.
std::string percent_label(double pct, int decimals);

}  // namespace vesko::simulator
