#pragma once

// GaussianNoise: the module model's seeded white noise, the same on every standard library.

#include <cstdint>
#include <random>

namespace vesko::simulator {

// Seeded white Gaussian noise, the same sequence for the same seed on every
// standard library: a 64-bit Mersenne Twister (fixed by the language) and the
// Box-Muller transform written out here rather than a library distribution.
class GaussianNoise {
public:
    explicit GaussianNoise(std::uint64_t seed) : engine_(seed) {}

    // One standard normal deviate (mean 0, sd 1).
    double next();

private:
    double uniform_open();  // in (0, 1]

    std::mt19937_64 engine_;
    double spare_ = 0.0;
    bool have_spare_ = false;
};

}  // namespace vesko::simulator
