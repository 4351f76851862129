#pragma once

// CalAccumulator, the record the sample callback fills and the dialogue reads, and on_sample.

#include <cstdint>
#include <mutex>

#include "imu/imu_sample.h"

namespace vesko {

enum CapturePhase : std::int32_t { Idle = 0, Bias = 1, Integrate = 2 };

// The record through which the reader thread's samples reach the dialogue.
// Every field is read and written with `mutex` held, on either thread.
struct CalAccumulator {
    CalAccumulator() = default;
    CalAccumulator(const CalAccumulator&) = delete;
    CalAccumulator& operator=(const CalAccumulator&) = delete;

    std::mutex mutex;
    CapturePhase phase = Idle;
    double sum[3] = {0, 0, 0};         // gyro sums over the bias window, LSB
    double sum_sq[3] = {0, 0, 0};      // sums of squares, LSB^2
    std::uint64_t bias_count = 0;      // samples summed while capturing bias
    double bias[3] = {0, 0, 0};        // subtracted while integrating, LSB
    double integral[3] = {0, 0, 0};    // bias-corrected rate integral, LSB*s
    std::uint32_t prev_timestamp = 0;  // previous sample's device time while integrating
    bool have_prev = false;
    std::uint64_t interval_count = 0;  // intervals integrated in this run
    double max_dt = 0;                 // longest interval in this run, s
    bool gap = false;                  // an interval over the gap limit was seen
    // Host time (monotonic, ns) of the arming Enter and of the first and last
    // samples integrated since: how long the stream was silent at each edge
    // of the run, which the intervals between samples cannot show.
    std::int64_t armed_ns = 0;
    std::int64_t first_sample_ns = 0;
    std::int64_t last_sample_ns = 0;
    // The intervals' sum in device time, s: what the module's clock accounts
    // for of the host time from the first sample to the last.
    double device_seconds = 0;
};

// Device clock rate and the longest interval a run tolerates.
inline constexpr double kDeviceTicksPerSecond = 48'000'000.0;
inline constexpr double kGapLimitSeconds = 0.5;

// The sample callback's body: by phase, drops the sample, sums it for the
// bias, or integrates it into the run; `host_ns` is when it reached the host.
// Reader thread; constant work.
void on_sample(CalAccumulator& acc, const ImuSample& sample, std::int64_t host_ns);

}  // namespace vesko
