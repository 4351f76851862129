#include "console/cal_accumulator.h"

namespace vesko {
namespace {

// With the lock held: one interval of the run, weighted with the rate of the
// sample that ends it. Device time differences are taken modulo 2^32.
void integrate(CalAccumulator& acc, const ImuSample& s, std::int64_t host_ns) {
    if (!acc.have_prev) acc.first_sample_ns = host_ns;
    acc.last_sample_ns = host_ns;
    if (acc.have_prev) {
        const std::uint32_t ticks = s.timestamp - acc.prev_timestamp;
        const double dt = static_cast<double>(ticks) / kDeviceTicksPerSecond;
        if (dt > kGapLimitSeconds) acc.gap = true;
        if (dt > acc.max_dt) acc.max_dt = dt;
        acc.device_seconds += dt;
        for (int i = 0; i < 3; ++i) {
            acc.integral[i] += (static_cast<double>(s.gyro[i]) - acc.bias[i]) * dt;
        }
        ++acc.interval_count;
    }
    acc.prev_timestamp = s.timestamp;
    acc.have_prev = true;
}

}  // namespace

void on_sample(CalAccumulator& acc, const ImuSample& sample, std::int64_t host_ns) {
    std::lock_guard<std::mutex> lock(acc.mutex);
    switch (acc.phase) {
        case Bias:
            for (int i = 0; i < 3; ++i) {
                const double g = sample.gyro[i];
                acc.sum[i] += g;
                acc.sum_sq[i] += g * g;
            }
            ++acc.bias_count;
            break;
        case Integrate: integrate(acc, sample, host_ns); break;
        default: break;
    }
}

}  // namespace vesko
