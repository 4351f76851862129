#include "simulator/model/sensor_counts.h"

#include <cmath>
#include <limits>

namespace vesko::simulator {

std::int16_t to_counts(double value) {
    constexpr double lo = std::numeric_limits<std::int16_t>::min();
    constexpr double hi = std::numeric_limits<std::int16_t>::max();
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(value);
    if (rounded <= lo) return std::numeric_limits<std::int16_t>::min();
    if (rounded >= hi) return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(rounded);
}

void gyro_counts(const ModuleParams& params, const Vec3& rate, const Vec3& noise, std::int16_t out[3]) {
    for (int i = 0; i < 3; ++i) {
        double felt = rate[i];
        for (int j = 0; j < 3; ++j)
            if (j != i) felt += params.coupling[i][j] * rate[j];
        out[i] = to_counts(felt / params.gyro_scale[i] + params.gyro_bias[i] + noise[i]);
    }
}

void accel_counts(const ModuleParams& params, const Mat3& orientation, const Vec3& noise, std::int16_t out[3]) {
    const Vec3 up_in_module = times(transpose(orientation), Vec3{0.0, 0.0, 1.0});
    for (int i = 0; i < 3; ++i) out[i] = to_counts(up_in_module[i] * params.accel_counts_per_g + noise[i]);
}

}  // namespace vesko::simulator
