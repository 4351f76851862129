#pragma once

// ModuleParams: the physical truth of one simulated module (scales, bias, noise, coupling, clocks).

#include <cstdint>

#include "simulator/model/rotation.h"

namespace vesko::simulator {

// The physical truth of one simulated tracking module. Plain value type.
struct ModuleParams {
    double sample_rate_hz = 1000.0;  // IMU samples per second; three per report

    // True gyroscope scale per axis, rad/s per count: counts = rate / scale.
    Vec3 gyro_scale = {0.000977, 0.0009815, 0.000974};
    Vec3 gyro_bias = {3.2, -4.7, 1.9};  // counts
    double gyro_noise_sd = 2.0;         // counts, white, per sample and axis

    // Cross-axis coupling: axis i also feels coupling[i][j] of the rate about
    // axis j (j != i). The diagonal is ignored.
    Mat3 coupling = {{{0.0, 0.004, -0.002}, {-0.003, 0.0, 0.005}, {0.002, -0.004, 0.0}}};

    double accel_counts_per_g = 2048.0;  // gravity reads as this many counts
    double accel_noise_sd = 4.0;         // counts

    std::uint64_t noise_seed = 1;

    // First timestamp and seq after power-up. The default clock starts three
    // seconds short of its 2^32 wrap, so a session sees the wrap early on.
    std::uint32_t first_timestamp = 4294967296u - 3u * 48000000u;
    std::uint8_t first_seq = 0;

    // How many reports a reader that does not read finds waiting at most, as
    // the system's HID driver keeps them; older ones are lost.
    std::int64_t backlog_reports = 32;
};

// The module's clock: 48,000,000 ticks per second.
inline constexpr std::int64_t kTicksPerSecond = 48'000'000;

}  // namespace vesko::simulator
