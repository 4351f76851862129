#include "simulator/model/gaussian_noise.h"

#include <cmath>
#include <numbers>

namespace vesko::simulator {

double GaussianNoise::uniform_open() {
    // 53 random bits, shifted by one so that 0 never comes out.
    return (static_cast<double>(engine_() >> 11) + 1.0) * 0x1.0p-53;
}

double GaussianNoise::next() {
    if (have_spare_) {
        have_spare_ = false;
        return spare_;
    }
    const double radius = std::sqrt(-2.0 * std::log(uniform_open()));
    const double phase = 2.0 * std::numbers::pi * uniform_open();
    spare_ = radius * std::sin(phase);
    have_spare_ = true;
    return radius * std::cos(phase);
}

}  // namespace vesko::simulator
