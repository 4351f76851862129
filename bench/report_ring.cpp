#include "report_ring.h"

namespace vesko::bench {

const std::vector<ReportBytes>& report_ring() {
    static const std::vector<ReportBytes> ring = [] {
        std::vector<ReportBytes> reports(kRingReports);
        std::uint32_t n = 0;
        for (ReportBytes& r : reports) {
            r.fill(0);
            r[0] = kImuReportId;
            for (std::size_t k = 0; k < kSamplesPerReport; ++k, ++n) {
                ImuSample s;
                s.accel[2] = 2048;  // gravity on Z
                s.gyro[0] = static_cast<std::int16_t>(400 + n % 7);
                s.gyro[1] = static_cast<std::int16_t>(-3 + static_cast<int>(n % 5));
                s.gyro[2] = 2;
                s.timestamp = 4'150'967'296u + n * 48'000u;
                s.seq = static_cast<std::uint8_t>(n);
                encode_sample_slot(s, r.data() + 1 + kSampleSlotSize * k);
            }
        }
        return reports;
    }();
    return ring;
}

}  // namespace vesko::bench
