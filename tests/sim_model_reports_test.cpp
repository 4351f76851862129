// The module model's reports: layout, clocks and counters across their wraps,
// schedule, and the faults of the stream as a reader sees them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imu/input_report.h"
#include "imu/sequence_filter.h"
#include "simulator/model/module_model.h"

namespace vesko::simulator {
namespace {

constexpr std::int64_t kMs = 1'000'000;

ModuleParams quiet_params() {
    ModuleParams p;
    p.gyro_bias = {5.0, -3.0, 0.25};
    p.gyro_noise_sd = 0.0;
    p.accel_noise_sd = 0.0;
    p.coupling = {};
    return p;
}

struct Taken {
    std::int64_t due = 0;
    std::vector<std::uint8_t> bytes;
};

// Takes the next report at its due time.
Taken take(ModuleModel& m) {
    Taken t;
    t.due = m.next_report_time().value();
    t.bytes.resize(64);
    t.bytes.resize(m.take_report(t.due, t.bytes.data(), t.bytes.size()));
    return t;
}

std::vector<ImuSample> decode(const Taken& t) {
    std::vector<ImuSample> s(3);
    if (!decode_input_report(t.bytes.data(), t.bytes.size(), s.data())) return {};
    return s;
}

TEST(SimModelReports, DecodeToTheIntendedSamplesAcrossTimestampAndSeqWraps) {
    ModuleParams p = quiet_params();
    p.first_timestamp = 4294967296u - 48000u * 100u;  // wraps at sample 100
    p.first_seq = 200;                                // wraps at sample 56
    const std::int64_t power_on = 7 * kMs;
    ModuleModel m(p, power_on);

    for (std::int64_t k = 0; k < 120; ++k) {
        const Taken t = take(m);
        ASSERT_EQ(t.bytes.size(), 64u);
        EXPECT_EQ(t.bytes[0], 0x20);
        EXPECT_EQ(t.due, power_on + (3 * k + 2) * kMs) << "report " << k;
        const auto s = decode(t);
        ASSERT_EQ(s.size(), 3u);
        for (std::int64_t slot = 0; slot < 3; ++slot) {
            const std::int64_t j = 3 * k + slot;
            const auto expected_ts =
                static_cast<std::uint32_t>(p.first_timestamp + 48000u * static_cast<std::uint64_t>(j));
            EXPECT_EQ(s[slot].timestamp, expected_ts) << "sample " << j;
            EXPECT_EQ(s[slot].seq, static_cast<std::uint8_t>(200 + j)) << "sample " << j;
            EXPECT_EQ(s[slot].gyro[0], 5);
            EXPECT_EQ(s[slot].gyro[1], -3);
            EXPECT_EQ(s[slot].gyro[2], 0);
            EXPECT_EQ(s[slot].accel[0], 0);
            EXPECT_EQ(s[slot].accel[1], 0);
            EXPECT_EQ(s[slot].accel[2], 2048);
        }
    }
}

TEST(SimModelReports, ConsecutiveSamplesAreOneMillisecondApartThroughTheWrap) {
    ModuleParams p = quiet_params();
    p.first_timestamp = 0xFFFFFFFFu - 1000u;
    ModuleModel m(p, 0);
    std::uint32_t prev = 0;
    bool have_prev = false;
    for (int k = 0; k < 10; ++k) {
        for (const ImuSample& s : decode(take(m))) {
            if (have_prev) {
                EXPECT_EQ(static_cast<std::uint32_t>(s.timestamp - prev), 48000u);
            }
            prev = s.timestamp;
            have_prev = true;
        }
    }
}

TEST(SimModelReports, OtherRatesKeepThreeSamplesPerReport) {
    ModuleParams p = quiet_params();
    p.sample_rate_hz = 400.0;  // 2.5 ms per sample
    ModuleModel m(p, 0);
    const Taken first = take(m);
    const Taken second = take(m);
    EXPECT_EQ(first.due, 5 * kMs);
    EXPECT_EQ(second.due, 12'500'000);
    const auto s = decode(second);
    EXPECT_EQ(static_cast<std::uint32_t>(s[1].timestamp - s[0].timestamp), 120000u);
}

TEST(SimModelReports, NoiseIsSeededAndDeterministic) {
    ModuleParams p;
    ModuleModel a(p, 0);
    ModuleModel b(p, 0);
    p.noise_seed = 2;
    ModuleModel c(p, 0);
    bool differs_from_other_seed = false;
    for (int k = 0; k < 50; ++k) {
        const Taken ta = take(a);
        EXPECT_EQ(ta.bytes, take(b).bytes);
        differs_from_other_seed |= ta.bytes != take(c).bytes;
    }
    EXPECT_TRUE(differs_from_other_seed);
}

TEST(SimModelReports, GyroSaturatesAtTheInt16Limits) {
    ModuleParams p = quiet_params();
    p.gyro_scale = {1e-6, 1e-6, 1e-6};
    ModuleModel m(p, 0);
    m.turn(0, 90.0, 200 * kMs, 0);
    m.turn(0, -90.0, 200 * kMs, 0);
    int max_x = 0;
    int min_x = 0;
    for (int k = 0; k < 140; ++k)
        for (const ImuSample& s : decode(take(m))) {
            max_x = std::max<int>(max_x, s.gyro[0]);
            min_x = std::min<int>(min_x, s.gyro[0]);
        }
    EXPECT_EQ(max_x, 32767);
    EXPECT_EQ(min_x, -32768);
}

// --- power and backlog ---------------------------------------------------

TEST(SimModelReports, PoweredOffSchedulesNothingAndPowerOnStartsCountersOver) {
    ModuleParams p = quiet_params();
    p.first_seq = 9;
    ModuleModel m(p, 0);
    for (int k = 0; k < 5; ++k) take(m);
    m.power_off();
    EXPECT_FALSE(m.next_report_time().has_value());
    m.power_on(500 * kMs);
    const Taken t = take(m);
    EXPECT_EQ(t.due, 502 * kMs);
    const auto s = decode(t);
    EXPECT_EQ(s[0].seq, 9);
    EXPECT_EQ(s[0].timestamp, p.first_timestamp);
}

TEST(SimModelReports, AReaderFarBehindFindsOnlyTheLast32ReportsWithSeqShowingTheLoss) {
    ModuleModel m(quiet_params(), 0);
    std::vector<std::uint8_t> buf(64);
    ASSERT_EQ(m.take_report(1000 * kMs, buf.data(), buf.size()), 64u);
    ImuSample s[3];
    ASSERT_TRUE(decode_input_report(buf.data(), buf.size(), s));
    // Reports 0..332 were due by 1 s; the oldest one kept is 333 - 32 = 301.
    EXPECT_EQ(s[0].seq, static_cast<std::uint8_t>(3 * 301));
    EXPECT_EQ(s[0].timestamp, quiet_params().first_timestamp + 48000u * 3u * 301u);
    EXPECT_EQ(m.next_report_time().value(), (3 * 302 + 2) * kMs);
}

// --- faults --------------------------------------------------------------

TEST(SimModelFaults, SilencePostponesReportsKeepsSeqAndLetsTheClockRun) {
    ModuleModel m(quiet_params(), 0);
    take(m);  // samples 0..2, due 2 ms
    m.inject(Silence{700 * kMs}, 3 * kMs);
    const Taken after = take(m);
    EXPECT_GE(after.due, 705 * kMs);
    EXPECT_LE(after.due, 708 * kMs);
    const auto s = decode(after);
    EXPECT_EQ(s[0].seq, 3);  // nothing was sent, nothing counted
    EXPECT_EQ(static_cast<std::uint32_t>(s[2].timestamp - quiet_params().first_timestamp),
              static_cast<std::uint32_t>(after.due / 125 * 6));
}

TEST(SimModelFaults, ACommandedSilenceMovesTheAnnouncedReportTimeLater) {
    ModuleModel m(quiet_params(), 0);
    EXPECT_EQ(m.next_report_time().value(), 2 * kMs);
    m.inject(Silence{1000 * kMs}, 0);
    EXPECT_GE(m.next_report_time().value(), 1002 * kMs);
}

TEST(SimModelFaults, ShortAndForeignReportsAreRejectedByTheDecoder) {
    ModuleModel m(quiet_params(), 0);
    m.inject(ShortReports{2, 40}, 0);
    m.inject(ForeignReports{1, 0x21}, 0);
    const Taken a = take(m);
    const Taken foreign = take(m);
    const Taken b = take(m);
    const Taken c = take(m);
    EXPECT_EQ(a.bytes.size(), 40u);
    EXPECT_TRUE(decode(a).empty());
    EXPECT_EQ(foreign.bytes.size(), 64u);
    EXPECT_EQ(foreign.bytes[0], 0x21);
    EXPECT_TRUE(decode(foreign).empty());
    EXPECT_EQ(b.bytes.size(), 40u);
    ASSERT_EQ(c.bytes.size(), 64u);
    EXPECT_EQ(decode(c)[0].seq, 6);  // the cut reports' samples were counted
}

TEST(SimModelFaults, RepeatedAndSwappedReportsAreDroppedByTheSequenceFilter) {
    ModuleModel m(quiet_params(), 0);
    m.inject(RepeatedReports{1}, 0);
    m.inject(SwappedReports{1}, 4 * kMs);
    SequenceFilter filter;
    std::vector<int> accepted;
    for (int k = 0; k < 6; ++k)
        for (const ImuSample& s : decode(take(m)))
            if (filter.admit(s) == Admission::Accepted) accepted.push_back(s.seq);
    // Report 0 twice (seq 0..2), then 2 before 1 (seq 6..8 then 3..5), then 3, 4.
    const std::vector<int> expected = {0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    EXPECT_EQ(accepted, expected);
}

TEST(SimModelFaults, SeqRestartAndTimestampLeap) {
    ModuleParams p = quiet_params();
    p.first_seq = 100;
    ModuleModel m(p, 0);
    take(m);
    m.inject(SeqRestart{0}, 3 * kMs);
    m.inject(TimestampLeap{48'000'000}, 6 * kMs);
    const auto restarted = decode(take(m));
    EXPECT_EQ(restarted[0].seq, 0);
    EXPECT_EQ(restarted[0].timestamp, p.first_timestamp + 3u * 48000u);
    const auto leapt = decode(take(m));
    EXPECT_EQ(leapt[0].seq, 3);
    EXPECT_EQ(leapt[0].timestamp, p.first_timestamp + 6u * 48000u + 48'000'000u);
}

}  // namespace
}  // namespace vesko::simulator
