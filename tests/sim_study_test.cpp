// Studies over sessions whose errors are known in advance: a noiseless module
// and an operator who always turns half a degree too far.

#include <gtest/gtest.h>

#include <cmath>

#include "simulator/scenario/scenario_load.h"
#include "simulator/study/study.h"
#include "simulator/study/study_svg.h"

namespace vesko::simulator {
namespace {

Scenario scenario(const std::string& runs) {
    const std::string text =
        "[operator]\nturn_error = 0.5\n"
        "[[bus.mcus]]\nport = \"1.4\"\n"
        "[[bus.modules]]\nserial = \"KVR-STUDY1\"\nport = \"1.2\"\n"
        "[bus.modules.model]\nnoise_sd = 0\nbias = 0\ncoupling = 0\n" + runs;
    const ScenarioLoad load = parse_scenario(text, "study.toml");
    EXPECT_TRUE(load.scenario.has_value()) << load.error;
    return load.scenario.value_or(Scenario{});
}

TEST(SimStudy, KnownErrorsGiveTheirStatisticsAndTheGate) {
    // Typed 180, turned 180.5: every estimate is 180 / 180.5 of the truth.
    const auto all_axes = run_study(scenario("[[script]]\nrun = 180\naxis = \"x\"\n[[script]]\nrun = 180\naxis = \"y\"\n"
                                             "[[script]]\nrun = 180\naxis = \"z\"\n"),
                                    3, 11, 3);
    ASSERT_EQ(all_axes.size(), 3u);
    EXPECT_EQ(all_axes[2].index, 3);
    EXPECT_EQ(all_axes[2].seed, 13u);
    const double expected = 180.0 / 180.5 - 1.0;  // -0.277%
    for (const AxisStudy& axis : summarize_study(all_axes)) {
        EXPECT_EQ(axis.with_summary, 3);
        EXPECT_EQ(axis.without_summary, 0);
        EXPECT_NEAR(axis.mean_error, expected, 2e-5);  // the integral's own rounding
        EXPECT_LT(axis.sd_error, 1e-5);
        EXPECT_NEAR(axis.max_abs_error, -expected, 2e-5);
        EXPECT_LE(axis.p95_abs_error, axis.max_abs_error);
    }
    for (const StudySession& s : all_axes) {
        EXPECT_EQ(s.exit_code, 0);
        EXPECT_TRUE(s.gate_passed);
    }
    // Drawn: a dot per session and axis, the 0.1% lines, the gate off the chart.
    const std::string svg = study_svg(all_axes, "known errors");
    std::size_t dots = 0;
    for (std::size_t at = svg.find("<circle"); at != std::string::npos; at = svg.find("<circle", at + 1)) ++dots;
    EXPECT_EQ(dots, 9u);
    EXPECT_NE(svg.find(">+0.1%<"), std::string::npos);
    EXPECT_NE(svg.find("the 2% gate lies beyond"), std::string::npos);

    // Only X turned: Y and Z end without a mean, and the gate cannot pass.
    const auto x_only = run_study(scenario("[[script]]\nrun = 360\naxis = \"x\"\n"), 2, 1, 2);
    const auto axes = summarize_study(x_only);
    EXPECT_EQ(axes[0].with_summary, 2);
    EXPECT_NEAR(axes[0].mean_error, 360.0 / 360.5 - 1.0, 2e-5);
    EXPECT_EQ(axes[1].without_summary, 2);
    EXPECT_EQ(axes[2].without_summary, 2);
    EXPECT_FALSE(x_only[0].gate_passed);
}

}  // namespace
}  // namespace vesko::simulator
