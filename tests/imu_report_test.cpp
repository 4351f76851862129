// Decoding of the module's input reports, the sequence filter, and the
// reader's per-report processing step.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "imu/input_report.h"
#include "imu/report_processing.h"
#include "imu/sequence_filter.h"
#include "platform/clock.h"

namespace vesko {
namespace {

ImuSample sample(std::uint8_t seq, std::uint32_t timestamp, std::int16_t gx = 0) {
    ImuSample s;
    s.seq = seq;
    s.timestamp = timestamp;
    s.gyro[0] = gx;
    return s;
}

std::array<std::uint8_t, 64> report(const ImuSample& a, const ImuSample& b, const ImuSample& c) {
    std::array<std::uint8_t, 64> r{};
    r[0] = 0x20;
    encode_sample_slot(a, &r[1]);
    encode_sample_slot(b, &r[18]);
    encode_sample_slot(c, &r[35]);
    return r;
}

TEST(InputReport, DecodesTheSlotLayoutLittleEndian) {
    std::array<std::uint8_t, 64> r{};
    r[0] = 0x20;
    // Slot 1 by hand: accel -2, 258, 0x7FFF; gyro -32768, 1, -1; timestamp 0x89ABCDEF; seq 0xFE.
    const std::uint8_t slot1[17] = {0xFE, 0xFF, 0x02, 0x01, 0xFF, 0x7F, 0x00, 0x80, 0x01,
                                    0x00, 0xFF, 0xFF, 0xEF, 0xCD, 0xAB, 0x89, 0xFE};
    std::copy(std::begin(slot1), std::end(slot1), r.begin() + 18);
    ImuSample out[3];
    ASSERT_TRUE(decode_input_report(r.data(), 52, out));
    EXPECT_EQ(out[1].accel[0], -2);
    EXPECT_EQ(out[1].accel[1], 258);
    EXPECT_EQ(out[1].accel[2], 32767);
    EXPECT_EQ(out[1].gyro[0], -32768);
    EXPECT_EQ(out[1].gyro[1], 1);
    EXPECT_EQ(out[1].gyro[2], -1);
    EXPECT_EQ(out[1].timestamp, 0x89ABCDEFu);
    EXPECT_EQ(out[1].seq, 0xFE);
    EXPECT_EQ(out[0].timestamp, 0u);
}

TEST(InputReport, RejectsShortReportsAndOtherIdsAndIgnoresTheTail) {
    auto r = report(sample(1, 100, 5), sample(2, 200, 6), sample(3, 300, 7));
    ImuSample out[3];
    EXPECT_FALSE(decode_input_report(r.data(), 51, out));
    EXPECT_FALSE(decode_input_report(r.data(), 0, out));
    r[0] = 0x21;
    EXPECT_FALSE(decode_input_report(r.data(), 64, out));
    r[0] = 0x20;
    for (std::size_t i = 52; i < 64; ++i) r[i] = 0xAA;
    ASSERT_TRUE(decode_input_report(r.data(), 64, out));
    EXPECT_EQ(out[2].seq, 3);
    EXPECT_EQ(out[2].timestamp, 300u);
    EXPECT_EQ(out[2].gyro[0], 7);
}

TEST(SequenceFilter, OrderRepeatsAndWrap) {
    SequenceFilter f;
    EXPECT_EQ(f.admit(sample(200, 1)), Admission::Accepted);  // the first, whatever its seq
    EXPECT_EQ(f.admit(sample(200, 1)), Admission::Dropped);   // a repeat
    EXPECT_EQ(f.admit(sample(200, 2)), Admission::Accepted);  // same seq, new timestamp
    EXPECT_EQ(f.admit(sample(255, 3)), Admission::Accepted);
    EXPECT_EQ(f.admit(sample(0, 4)), Admission::Accepted);  // 255 -> 0 is in order
    EXPECT_EQ(f.admit(sample(3, 5)), Admission::Accepted);  // a jump forward
    f.reset();
    EXPECT_EQ(f.admit(sample(1, 5)), Admission::Accepted);  // after a reset anything goes
}

TEST(SequenceFilter, HalfCircleBoundary) {
    SequenceFilter f;
    ASSERT_EQ(f.admit(sample(10, 1)), Admission::Accepted);
    EXPECT_EQ(f.admit(sample(138, 2)), Admission::Dropped);   // d = 128
    EXPECT_EQ(f.admit(sample(137, 3)), Admission::Accepted);  // d = 127
}

TEST(SequenceFilter, RestartingCounterIsDroppedUntilItCatchesUp) {
    SequenceFilter f;
    ASSERT_EQ(f.admit(sample(100, 1000)), Admission::Accepted);
    int accepted_below = 0;
    for (int seq = 0; seq < 100; ++seq) {
        const auto a = f.admit(sample(static_cast<std::uint8_t>(seq), 2000u + static_cast<std::uint32_t>(seq)));
        // d = seq - 100 mod 256 is 156..255 here, all older.
        if (a == Admission::Accepted) ++accepted_below;
    }
    EXPECT_EQ(accepted_below, 0);
    EXPECT_EQ(f.admit(sample(100, 1000)), Admission::Dropped);  // the very same sample
    EXPECT_EQ(f.admit(sample(100, 2100)), Admission::Accepted);
}

// Host time the test sets, counting its reads.
struct CountingClock final : platform::Clock {
    std::int64_t at = 1000;
    int reads = 0;
    std::int64_t now_ns() override {
        ++reads;
        return at;
    }
    void sleep_until(std::int64_t t_ns) override { at = std::max(at, t_ns); }
    std::thread launch(std::string, int, std::function<void()> body) override { return std::thread(std::move(body)); }
    void join(std::thread& thread) override { thread.join(); }
};

struct Processing {
    SequenceFilter filter;
    std::mutex mutex;
    LatestSampleRecord record;
    std::vector<ImuSample> delivered;
    std::vector<std::thread::id> threads;
    bool lock_held_in_callback = false;
    CountingClock clock;
    SampleCallback callback = [this](const ImuSample& s) {
        if (!mutex.try_lock()) {
            lock_held_in_callback = true;
        } else {
            mutex.unlock();
        }
        delivered.push_back(s);
    };
    std::size_t process(const std::array<std::uint8_t, 64>& r, std::size_t length = 64) {
        return process_report(r.data(), length, ReportSink{filter, mutex, record, callback, clock});
    }
};

TEST(ProcessReport, FiveFourSixDeliversFiveThenSix) {
    Processing p;
    p.process(report(sample(2, 10), sample(3, 20), sample(4, 30)));
    p.delivered.clear();
    EXPECT_EQ(p.process(report(sample(5, 40, 5), sample(4, 50, 4), sample(6, 60, 6))), 2u);
    ASSERT_EQ(p.delivered.size(), 2u);
    EXPECT_EQ(p.delivered[0].gyro[0], 5);
    EXPECT_EQ(p.delivered[1].gyro[0], 6);
    EXPECT_EQ(p.record.latest.seq, 6);
    EXPECT_FALSE(p.lock_held_in_callback);
    EXPECT_EQ(p.clock.reads, 2);  // once per report, not per sample
}

TEST(ProcessReport, RepeatedReportChangesNothing) {
    Processing p;
    const auto r = report(sample(7, 70), sample(8, 80), sample(9, 90));
    EXPECT_EQ(p.process(r), 3u);
    EXPECT_EQ(p.record.latest_host_ns, 1000);
    p.clock.at = 5000;
    EXPECT_EQ(p.process(r), 0u);  // slot 2 repeats the last accepted one, 0 and 1 are older
    EXPECT_EQ(p.record.latest_host_ns, 1000);
    EXPECT_EQ(p.record.latest.seq, 9);
}

TEST(ProcessReport, BadReportTouchesNeitherFilterNorRecord) {
    Processing p;
    auto r = report(sample(50, 1), sample(51, 2), sample(52, 3));
    EXPECT_EQ(p.process(r, 51), 0u);
    r[0] = 0x21;
    EXPECT_EQ(p.process(r), 0u);
    EXPECT_FALSE(p.record.has_latest);
    EXPECT_EQ(p.clock.reads, 0);
    // The filter is still fresh: a low seq after these is accepted as the first.
    EXPECT_EQ(p.process(report(sample(1, 9), sample(2, 10), sample(3, 11)), 52), 3u);
    EXPECT_TRUE(p.record.has_latest);
}

TEST(ProcessReport, WithoutCallbackSamplesAreOnlyRecorded) {
    SequenceFilter filter;
    std::mutex mutex;
    LatestSampleRecord record;
    const SampleCallback none;
    const auto r = report(sample(1, 1), sample(2, 2), sample(3, 3));
    EXPECT_EQ(process_report(r.data(), r.size(), ReportSink{filter, mutex, record, none, platform::monotonic_clock()}),
              3u);
    EXPECT_EQ(record.latest.seq, 3);
    EXPECT_GT(record.latest_host_ns, 0);
}

}  // namespace
}  // namespace vesko
