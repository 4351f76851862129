#include "imu/report_processing.h"

#include "imu/input_report.h"

namespace vesko {

std::size_t process_report(const std::uint8_t* data, std::size_t length, const ReportSink& sink) {
    ImuSample slots[kSamplesPerReport];
    if (!decode_input_report(data, length, slots)) return 0;

    const std::int64_t now_ns = sink.clock.now_ns();
    const ImuSample* delivery[kSamplesPerReport];
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(sink.mutex);
        for (const ImuSample& s : slots) {
            if (sink.filter.admit(s) != Admission::Accepted) continue;
            sink.record.latest = s;
            sink.record.latest_host_ns = now_ns;
            sink.record.has_latest = true;
            delivery[count++] = &s;
        }
    }
    if (sink.callback) {
        for (std::size_t i = 0; i < count; ++i) sink.callback(*delivery[i]);
    }
    return count;
}

}  // namespace vesko
