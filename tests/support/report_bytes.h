#pragma once

// Input reports built byte by byte for tests.

#include <array>
#include <cstdint>
#include <vector>

#include "imu/input_report.h"

namespace vesko::test {

// One 64-byte input report of three samples with consecutive `seq` values
// from `first_seq` and timestamps 48000 ticks (1 ms) apart from `first_ts`.
inline std::vector<std::uint8_t> imu_report(std::uint8_t first_seq, std::uint32_t first_ts = 1000,
                                            std::array<std::int16_t, 3> gyro = {0, 0, 0}) {
    std::vector<std::uint8_t> report(kImuReportReadLength, 0);
    report[0] = kImuReportId;
    for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
        ImuSample s;
        for (int i = 0; i < 3; ++i) s.gyro[i] = gyro[static_cast<std::size_t>(i)];
        s.accel[2] = 4096;
        s.seq = static_cast<std::uint8_t>(first_seq + k);
        s.timestamp = first_ts + static_cast<std::uint32_t>(48000 * k);
        encode_sample_slot(s, report.data() + 1 + kSampleSlotSize * k);
    }
    return report;
}

}  // namespace vesko::test
