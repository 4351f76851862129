#pragma once

// A report source that plays one module's reports at a steady rate on the bus clock.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "imu/input_report.h"
#include "platform/sim/report_source.h"

namespace vesko::test {

// Plays a module at 1000 samples per second: one report of three samples
// every 3 ms of bus time, 1 ms (48000 ticks) apart, with the gyro counts a
// test sets. The bus asks it under its own lock; the gyro may be set from
// any thread.
class SteadyReportSource final : public platform::sim::ReportSource {
public:
    explicit SteadyReportSource(std::int64_t first_ns = 3'000'000) : next_ns_(first_ns) {}

    void set_gyro(std::array<std::int16_t, 3> gyro) {
        for (std::size_t i = 0; i < 3; ++i) gyro_[i] = gyro[i];
    }

    std::optional<std::int64_t> next_report_time() override { return next_ns_; }

    std::size_t take_report(std::int64_t, std::uint8_t* buffer, std::size_t capacity) override {
        if (capacity < kImuReportMinLength) return 0;
        buffer[0] = kImuReportId;
        for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
            ImuSample s;
            for (std::size_t i = 0; i < 3; ++i) s.gyro[i] = gyro_[i].load();
            s.accel[2] = 4096;
            s.seq = seq_++;
            s.timestamp = timestamp_;
            timestamp_ += 48000;
            encode_sample_slot(s, buffer + 1 + kSampleSlotSize * k);
        }
        next_ns_ += 3'000'000;
        return kImuReportMinLength;
    }

private:
    std::array<std::atomic<std::int16_t>, 3> gyro_{};
    std::int64_t next_ns_;
    std::uint8_t seq_ = 0;
    std::uint32_t timestamp_ = 0xFFF00000u;  // wraps within the first seconds
};

}  // namespace vesko::test
