// The integration step, run evaluation and the summary figures.
#include <gtest/gtest.h>

#include <cmath>

#include "calibration/cross_axis_fit.h"
#include "console/bias_capture.h"
#include "console/cal_accumulator.h"
#include "console/printed_summary.h"
#include "console/rotation_run.h"
#include "support/captured_stream.h"

namespace vesko {
namespace {

using test::CapturedStream;

ImuSample at(std::uint32_t timestamp, std::int16_t gx, std::int16_t gy = 0, std::int16_t gz = 0) {
    ImuSample s;
    s.timestamp = timestamp;
    s.gyro[0] = gx;
    s.gyro[1] = gy;
    s.gyro[2] = gz;
    return s;
}

void arm(CalAccumulator& acc, double bx = 0) {
    acc.bias[0] = bx;
    acc.phase = Integrate;
}

TEST(Integration, ClockWrapGivesTheShortInterval) {
    CalAccumulator acc;
    arm(acc, 10);
    on_sample(acc, at(0xFFFFFFF0u, 999), 0);     // only sets the start
    on_sample(acc, at(48000u - 0x10u, 110), 0);  // 48000 ticks later, across the wrap
    EXPECT_EQ(acc.interval_count, 1u);
    EXPECT_DOUBLE_EQ(acc.max_dt, 0.001);
    EXPECT_DOUBLE_EQ(acc.integral[0], 100 * 0.001);  // weighted with the rate of the later sample
    EXPECT_FALSE(acc.gap);
}

TEST(Integration, GapLimitIsHalfASecondInclusive) {
    CalAccumulator acc;
    arm(acc);
    on_sample(acc, at(0, 0), 0);
    on_sample(acc, at(24'000'000, 0), 0);
    EXPECT_FALSE(acc.gap);
    EXPECT_DOUBLE_EQ(acc.max_dt, 0.5);
    on_sample(acc, at(48'000'001, 0), 0);
    EXPECT_TRUE(acc.gap);
}

TEST(Integration, IdleAndBiasPhases) {
    CalAccumulator acc;
    on_sample(acc, at(1, 100), 0);
    EXPECT_EQ(acc.bias_count, 0u);
    EXPECT_FALSE(acc.have_prev);
    acc.phase = Bias;
    on_sample(acc, at(2, 3, -4, 5), 0);
    on_sample(acc, at(3, 5, -4, 5), 0);
    EXPECT_EQ(acc.bias_count, 2u);
    EXPECT_DOUBLE_EQ(acc.sum[0], 8);
    EXPECT_DOUBLE_EQ(acc.sum_sq[0], 34);
    const BiasFigures f = bias_figures(acc.sum, acc.sum_sq, acc.bias_count);
    EXPECT_DOUBLE_EQ(f.mean[0], 4);
    EXPECT_DOUBLE_EQ(f.sd[0], 1);  // population deviation: divided by n, not n - 1
    EXPECT_DOUBLE_EQ(f.sd[1], 0);  // constant axis
    EXPECT_DOUBLE_EQ(bias_figures(acc.sum, acc.sum_sq, 0).mean[0], 0);
}

RunCapture capture(std::array<double, 3> I, std::uint64_t n = 1000, double max_dt = 0.001, bool gap = false) {
    RunCapture c;
    c.integral = I;
    c.intervals = n;
    c.max_dt = max_dt;
    c.gap = gap;
    return c;
}

TEST(RunEvaluation, SignLeakageAndScaleAgainstTheSignedIntegral) {
    CapturedStream out;
    RunResult r;
    ASSERT_TRUE(evaluate_run(capture({-9000, 3000, 4500}), 90, out.get(), r));
    EXPECT_EQ(r.axis, 0);
    EXPECT_DOUBLE_EQ(r.leakage, 0.5);
    EXPECT_DOUBLE_EQ(r.scale, kPi / 2 / 9000);
    EXPECT_DOUBLE_EQ(r.angle_deg, 90);
    EXPECT_EQ(out.text(),
              "  integral [-9000.0 3000.0 4500.0] LSB*s  (1000 samples, max dt 0.0010 s)\n"
              "  dominant axis X (sign -)  off-axis leakage 50.0%\n"
              "  scale = 0.000174533 rad/s/LSB   vs 1/1024: -82.13%   vs 0.001: -82.55%\n\n");
}

TEST(RunEvaluation, TiesGoToTheEarlierAxis) {
    EXPECT_EQ(dominant_axis({500, -500, 100}), 0);
    EXPECT_EQ(dominant_axis({100, 500, -500}), 1);
    EXPECT_EQ(dominant_axis({-700, 500, 700}), 0);
    EXPECT_EQ(dominant_axis({1, 2, 3}), 2);
}

TEST(RunEvaluation, ThresholdsAndTheOrderOfChecks) {
    RunResult r;
    {
        CapturedStream out;
        EXPECT_TRUE(evaluate_run(capture({100, 0, 0}, 500), 90, out.get(), r));  // both limits exactly
    }
    {
        CapturedStream out;
        EXPECT_FALSE(evaluate_run(capture({5000, 0, 0}, 499), 90, out.get(), r));
        EXPECT_EQ(out.text(), "  RUN INVALID: no rotation detected (499 samples, dominant integral 5000.0 LSB*s)\n\n");
    }
    {
        CapturedStream out;
        EXPECT_FALSE(evaluate_run(capture({0, -99.9, 0}, 800), 90, out.get(), r));
        EXPECT_EQ(out.text(), "  RUN INVALID: no rotation detected (800 samples, dominant integral -99.9 LSB*s)\n\n");
    }
    {
        CapturedStream out;  // a gap wins over everything, and only its message is printed
        EXPECT_FALSE(evaluate_run(capture({0, 0, 0}, 3, 0.75, true), 90, out.get(), r));
        EXPECT_EQ(out.text(), "  RUN INVALID: stream gap > 0.5 s during integration (max dt 0.750 s)\n");
    }
    RunCapture edge = capture({5000, 0, 0});
    edge.unsampled_s = 0.5;  // the limit exactly: the edges went as good as sampled
    {
        CapturedStream out;
        EXPECT_TRUE(evaluate_run(edge, 90, out.get(), r));
    }
    edge.unsampled_s = 0.5 + 1e-9;  // an edge that went unsampled past the limit, however good the rest
    {
        CapturedStream out;
        EXPECT_FALSE(evaluate_run(edge, 90, out.get(), r));
        EXPECT_EQ(out.text(), "  RUN INVALID: stream gap > 0.5 s during integration (max dt 0.500 s)\n");
    }
}

TEST(RunEvaluation, NominalScalesPrintTheirDeviations) {
    RunResult r;
    {
        CapturedStream out;  // D chosen so that the scale is exactly 1/1024
        ASSERT_TRUE(evaluate_run(capture({0, 0, 1024.0 * kPi / 2}), 90, out.get(), r));
        EXPECT_NE(out.text().find("vs 1/1024: +0.00%   vs 0.001: -2.34%"), std::string::npos);
    }
    {
        CapturedStream out;
        ASSERT_TRUE(evaluate_run(capture({0, 1000.0 * kPi / 2, 0}), 90, out.get(), r));
        EXPECT_NE(out.text().find("vs 1/1024: +2.40%   vs 0.001: +0.00%"), std::string::npos);
    }
}

TEST(Summary, TwoRunsOnXAndNoneElsewhere) {
    CapturedStream out;
    print_summary({RunResult{0, 90, 0.00098, 0}, RunResult{0, 180, 0.00100, 0}}, out.get());
    EXPECT_EQ(out.text(),
              "\n==== summary (2 runs) ====\n"
              "X: 2 runs  mean 0.000990000  spread 2.02%  vs 1/1024 +1.38%  vs 0.001 -1.00%\n"
              "Y: NO RUNS \xE2\x80\x94 gate requires all axes\n"
              "Z: NO RUNS \xE2\x80\x94 gate requires all axes\n"
              "gate: per-axis mean must sit within ~2% of one consistent value on all three axes\n");
}

TEST(Summary, OneRunOnY) {
    CapturedStream out;
    print_summary({RunResult{1, 90, 0.001, 0.01}}, out.get());
    EXPECT_EQ(out.text(),
              "\n==== summary (1 runs) ====\n"
              "X: NO RUNS \xE2\x80\x94 gate requires all axes\n"
              "Y: 1 runs  mean 0.001000000  spread 0.00%  vs 1/1024 +2.40%  vs 0.001 +0.00%\n"
              "Z: NO RUNS \xE2\x80\x94 gate requires all axes\n"
              "gate: per-axis mean must sit within ~2% of one consistent value on all three axes\n");
}

}  // namespace
}  // namespace vesko

namespace vesko {
namespace {

// A run as a module whose sensitivity is `m` (LSB*s per rad) integrates it.
RunResult turned(const Matrix3& m, int axis, double angle_deg) {
    Vector3 turn{};
    turn[static_cast<std::size_t>(axis)] = angle_deg * kPi / 180.0;
    const Vector3 integral = times(m, turn);
    return RunResult{axis, std::fabs(angle_deg), 0, 0, integral};
}

TEST(CrossAxisFit, RecoversAKnownMatrixAndRefusesWhatItCannotSolve) {
    // Scales near 1/1024 and cross terms of a few tenths of a percent, one of 2%.
    const Matrix3 k_true = {
        {{0.000977, -0.0000039, 0.0000020}, {0.0000029, 0.0009815, -0.0000196}, {-0.0000020, 0.0000039, 0.000974}}};
    const Matrix3 m = *inverse(k_true);
    const auto r = [&](int axis, double angle) { return turned(m, axis, angle); };
    // Integrals nearly in one plane, each still dominant on its own axis.
    const std::vector<RunResult> flat = {RunResult{0, 180, 0, 0, {3000, 0, 2700}},
                                         RunResult{1, 180, 0, 0, {0, 3000, 2700}},
                                         RunResult{2, 180, 0, 0, {1500, 1500, 2700.5}}};
    const struct {
        const char* name;
        std::vector<RunResult> runs;
        FitRefusal refusal;
        int missing_axis;
    } cases[] = {
        {"two runs per axis, one of each turned back",
         {r(0, 180), r(0, -360), r(1, 180), r(1, 360), r(2, -90), r(2, 360)},
         FitRefusal::None,
         -1},
        {"one run per axis: solved, no standard errors", {r(0, 90), r(1, 90), r(2, 90)}, FitRefusal::None, -1},
        {"runs all about X", {r(0, 90), r(0, 180), r(0, 360), r(0, -180)}, FitRefusal::MissingAxis, 1},
        {"no run about Z", {r(0, 90), r(1, 180), r(1, 360)}, FitRefusal::MissingAxis, 2},
        {"integrals nearly in a plane", flat, FitRefusal::IllConditioned, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CrossAxisOutcome out = fit_cross_axis(c.runs);
        EXPECT_EQ(out.refusal, c.refusal);
        EXPECT_EQ(out.missing_axis, c.missing_axis);
        ASSERT_EQ(out.fit.has_value(), c.refusal == FitRefusal::None);
        if (!out.fit) continue;
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(out.fit->k[i][j], k_true[i][j], 1e-15);
        EXPECT_EQ(out.fit->standard_error.has_value(), c.runs.size() > 3);
        EXPECT_LT(out.fit->condition, 1.1);
        for (const Vector3& res : out.fit->residual_deg)
            for (double x : res) EXPECT_NEAR(x, 0, 1e-9);
    }

    // Two X runs of 90 that disagree, one run squarely about each other axis:
    // X's row is a fit of one scale to two integrals, a, b, with one degree of freedom.
    const double a = 1600, b = 1610, t = kPi / 2;
    const CrossAxisOutcome two =
        fit_cross_axis({RunResult{0, 90, 0, 0, {a, 0, 0}}, RunResult{0, 90, 0, 0, {b, 0, 0}},
                        RunResult{1, 90, 0, 0, {0, 1600, 0}}, RunResult{2, 90, 0, 0, {0, 0, 1600}}});
    ASSERT_TRUE(two.fit && two.fit->standard_error);
    const double kxx = t * (a + b) / (a * a + b * b);
    const double rss = (kxx * a - t) * (kxx * a - t) + (kxx * b - t) * (kxx * b - t);
    EXPECT_NEAR(two.fit->k[0][0], kxx, 1e-15);
    EXPECT_NEAR((*two.fit->standard_error)[0][0], std::sqrt(rss / (a * a + b * b)), 1e-15);
    EXPECT_NEAR(two.fit->residual_deg[1][0], (kxx * b - t) * 180 / kPi, 1e-9);
    EXPECT_NEAR((*two.fit->standard_error)[1][1], 0, 1e-15);
}

}  // namespace
}  // namespace vesko
