// The jig's motion and what the module's gyroscope and accelerometer make of
// it: the rate integrates to the commanded angle, and the coupling between
// axes shows as the console would see it.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <thread>
#include <vector>

#include "imu/input_report.h"
#include "simulator/model/jig.h"
#include "simulator/model/module_model.h"
#include "simulator/model/sensor_counts.h"

namespace vesko::simulator {
namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr double kDeg = std::numbers::pi / 180.0;

TEST(SimJig, RaisedCosineTurnStartsAndEndsAtRestAndSumsToItsAngle) {
    const JigTurn turn{1, 90.0 * kDeg, 100 * kMs, 1000 * kMs};
    EXPECT_EQ(turn_rate(turn, 100 * kMs), 0.0);
    EXPECT_EQ(turn_rate(turn, 1100 * kMs), 0.0);
    EXPECT_NEAR(turn_rate(turn, 600 * kMs), 2.0 * 90.0 * kDeg, 1e-12);  // peak: twice the mean
    EXPECT_EQ(turn_angle(turn, 0), 0.0);
    EXPECT_NEAR(turn_angle(turn, 600 * kMs), 45.0 * kDeg, 1e-12);
    EXPECT_EQ(turn_angle(turn, 2000 * kMs), 90.0 * kDeg);
    double sum = 0.0;  // the console's rectangle rule at 1 ms
    for (std::int64_t t = 0; t <= 1500 * kMs; t += kMs) sum += turn_rate(turn, t) * 1e-3;
    EXPECT_NEAR(sum / (90.0 * kDeg), 1.0, 1e-12);
}

TEST(SimJig, TurnsQueueOneAfterAnotherAndNeverStartInThePastOfTheSamples) {
    Jig jig;
    const JigTurn a = jig.add_turn({0, 1.0, 50 * kMs, 100 * kMs}, 80 * kMs);
    EXPECT_EQ(a.start_ns, 80 * kMs);
    const JigTurn b = jig.add_turn({2, 1.0, 0, 100 * kMs}, 0);
    EXPECT_EQ(b.start_ns, 180 * kMs);
    EXPECT_EQ(jig.idle_from(0), 280 * kMs);
    EXPECT_GT(jig.state_at(130 * kMs).rate[0], 0.0);
    EXPECT_GT(jig.state_at(230 * kMs).rate[2], 0.0);
    EXPECT_EQ(jig.state_at(230 * kMs).rate[0], 0.0);
}

TEST(SimSensor, CountsRoundAndClampAndCouplingLeaksIntoTheOtherAxes) {
    EXPECT_EQ(to_counts(2.5), 2);  // to even
    EXPECT_EQ(to_counts(-2.6), -3);
    EXPECT_EQ(to_counts(40000.0), 32767);
    EXPECT_EQ(to_counts(-40000.0), -32768);
    EXPECT_EQ(to_counts(std::nan("")), 0);

    ModuleParams p;
    p.gyro_scale = {0.001, 0.001, 0.002};
    p.gyro_bias = {0.0, 0.0, 10.0};
    p.coupling = {{{0.0, 0.0, 0.0}, {0.01, 0.0, 0.0}, {0.02, 0.0, 0.0}}};
    std::int16_t g[3];
    gyro_counts(p, {1.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, g);
    EXPECT_EQ(g[0], 1000);
    EXPECT_EQ(g[1], 10);
    EXPECT_EQ(g[2], 20);  // 0.02 / 0.002 + 10
}

TEST(SimSensor, AccelerometerFollowsGravityThroughAQuarterTurnAboutX) {
    ModuleParams p;
    std::int16_t a[3];
    accel_counts(p, kIdentity3, {0.0, 0.0, 0.0}, a);
    EXPECT_EQ(a[2], 2048);
    accel_counts(p, axis_rotation(0, 90.0 * kDeg), {0.0, 0.0, 0.0}, a);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 2048);
    EXPECT_EQ(a[2], 0);
}

// What the console does with the stream: bias over 2 s of stillness, then
// the bias-corrected rate integrated over the device's timestamps, here
// during a quarter turn about `axis`.
std::array<double, 3> integrate_turn(ModuleModel& m, int axis) {
    std::vector<ImuSample> samples;
    auto take_until = [&](std::int64_t t_end) {
        std::uint8_t buf[64];
        while (m.next_report_time().value() <= t_end) {
            const std::int64_t due = m.next_report_time().value();
            const std::size_t n = m.take_report(due, buf, sizeof buf);
            ImuSample s[3];
            if (decode_input_report(buf, n, s)) samples.insert(samples.end(), s, s + 3);
        }
    };
    take_until(2000 * kMs);
    double bias[3] = {0, 0, 0};
    for (const ImuSample& s : samples)
        for (int i = 0; i < 3; ++i) bias[i] += s.gyro[i];
    for (double& b : bias) b /= static_cast<double>(samples.size());
    samples.clear();
    m.turn(axis, 90.0, 1000 * kMs, 2300 * kMs);
    take_until(3600 * kMs);
    std::array<double, 3> integral{};
    for (std::size_t k = 1; k < samples.size(); ++k) {
        const double dt = static_cast<std::uint32_t>(samples[k].timestamp - samples[k - 1].timestamp) / 48e6;
        for (std::size_t i = 0; i < 3; ++i) integral[i] += (samples[k].gyro[i] - bias[i]) * dt;
    }
    return integral;
}

// How close whole sessions come to the truth, and an error in the turned
// angle, are checked on the sessions themselves (the scenario sweep and the
// study); here what only the integrals show.
TEST(SimCalibration, CouplingShowsAsLeakageOnTheOtherAxes) {
    ModuleParams p;
    p.gyro_noise_sd = 0.0;
    ModuleModel m(p, 0);
    const auto integral = integrate_turn(m, 2);
    // Z's rate felt by X and Y, each in its own scale.
    EXPECT_NEAR(integral[0] / integral[2], p.coupling[0][2] * p.gyro_scale[2] / p.gyro_scale[0], 5e-4);
    EXPECT_NEAR(integral[1] / integral[2], p.coupling[1][2] * p.gyro_scale[2] / p.gyro_scale[1], 5e-4);
}

TEST(SimModelThreads, CommandsFromOneThreadWhileAnotherTakesReports) {
    ModuleModel m(ModuleParams{}, 0);
    std::atomic<bool> done{false};
    std::atomic<int> commands{0};
    std::thread reader([&] {
        std::uint8_t buf[64];
        // Keeps taking reports until the other thread has commanded a good
        // many times, however the two threads happen to be scheduled.
        for (int k = 0; k < 3000 || commands.load() < 50; ++k) {
            const auto due = m.next_report_time();
            if (due) m.take_report(*due, buf, sizeof buf);
        }
        done = true;
    });
    while (!done) {
        const int c = commands.load();
        m.turn(c % 3, 10.0, 5 * kMs, 0);
        m.inject(RepeatedReports{1}, 0);
        commands.store(c + 1);
        std::this_thread::yield();
    }
    reader.join();
    EXPECT_GE(commands.load(), 50);
    EXPECT_TRUE(m.next_report_time().has_value());
}

}  // namespace
}  // namespace vesko::simulator
