// Studies over sessions whose errors are known in advance: a noiseless module
// and an operator who always turns half a degree too far.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "simulator/scenario/scenario_load.h"
#include "simulator/study/matrix_study.h"
#include "simulator/study/study.h"
#include "simulator/study/study_svg.h"
#include "simulator/study/svg_axis.h"
#include "simulator/study/svg_labels.h"

namespace vesko::simulator {
namespace {

Scenario scenario(const std::string& runs) {
    const std::string text =
        "[operator]\nturn_error = 0.5\n"
        "[[bus.mcus]]\nport = \"1.4\"\n"
        "[[bus.modules]]\nserial = \"KVR-STUDY1\"\nport = \"1.2\"\n"
        "[bus.modules.model]\nnoise_sd = 0\nbias = 0\ncoupling = 0\n" +
        runs;
    const ScenarioLoad load = parse_scenario(text, "study.toml");
    EXPECT_TRUE(load.scenario.has_value()) << load.error;
    return load.scenario.value_or(Scenario{});
}

TEST(SimStudy, KnownErrorsGiveTheirStatisticsAndTheGate) {
    // Typed 180, turned 180.5: every estimate is 180 / 180.5 of the truth.
    const auto all_axes =
        run_study(scenario("[[script]]\nrun = 180\naxis = \"x\"\n[[script]]\nrun = 180\naxis = \"y\"\n"
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
    // The angle error goes into the matrix's diagonal alone: each run's whole
    // integral is longer, which its row takes as a common factor. What is
    // left off the diagonal is the printed integrals' rounding.
    const MatrixStudy matrix = summarize_matrix_study(all_axes);
    EXPECT_EQ(matrix.with_matrix, 3);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            const ErrorStatistics& e = matrix.elements[i][j];
            if (i == j) EXPECT_NEAR(e.mean, expected, 2e-5);
            else EXPECT_LT(e.max_abs, 2e-5) << i << j;
        }
    EXPECT_LT(matrix.rounding.max_abs, 2e-5);
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
    EXPECT_NE(svg.find(">mean -0.277"), std::string::npos) << svg;
    // On a scale fixed narrower than the errors, every dot is at the edge and counted.
    EXPECT_NE(study_svg(all_axes, "narrow", 0.1).find(">3 off the scale, at its edge<"), std::string::npos);
    EXPECT_NE(study_svg({}, "none").find(">nothing to draw: no session printed a mean<"), std::string::npos);

    // Only X turned: Y and Z end without a mean, and the gate cannot pass.
    const auto x_only = run_study(scenario("[[script]]\nrun = 360\naxis = \"x\"\n"), 2, 1, 2);
    const auto axes = summarize_study(x_only);
    EXPECT_EQ(axes[0].with_summary, 2);
    EXPECT_NEAR(axes[0].mean_error, 360.0 / 360.5 - 1.0, 2e-5);
    EXPECT_EQ(axes[1].without_summary, 2);
    EXPECT_EQ(axes[2].without_summary, 2);
    EXPECT_FALSE(x_only[0].gate_passed);
    EXPECT_EQ(summarize_matrix_study(x_only).without_matrix, 2);
}

TEST(SimStudy, TheDrawingsScaleHoldsEveryDotWithTicksAtRoundSteps) {
    struct Case {
        double largest_pct;  // the largest |error|; or, with `fixed`, the range asked for
        bool fixed;
        double span, step;
        int decimals;
    };
    for (const Case& c : std::vector<Case>{
             {0.0, false, 0.1, 0.05, 2},        // nothing drawn: the 0.1% lines still on it
             {0.0063, false, 0.008, 0.002, 3},  // an exact jig
             {0.573, false, 0.6, 0.2, 1},       // a hand-turned jig, runs of 90 degrees
             {16.7, false, 20, 5, 0},           // a wrong turn
             {0.5, true, 0.5, 0.2, 1},
         }) {
        const ErrorScale s = c.fixed ? fixed_error_scale(c.largest_pct, 9) : error_scale(c.largest_pct, 9);
        EXPECT_NEAR(s.span_pct, c.span, 1e-12) << c.largest_pct;
        EXPECT_NEAR(s.step_pct, c.step, 1e-12) << c.largest_pct;
        EXPECT_EQ(s.decimals, c.decimals) << c.largest_pct;
        EXPECT_LE(s.ticks_pct.size(), 9u);
        EXPECT_NEAR(s.ticks_pct.back(), -s.ticks_pct.front(), 1e-12);
        EXPECT_GE(s.ticks_pct.back() + s.step_pct, s.span_pct - 1e-12);
    }
    EXPECT_EQ(percent_label(-0.2, 1), "-0.2%");
    EXPECT_EQ(percent_label(1e-17, 3), "0");

    // The gate's labels 50 px apart, a tick's on top of one, and one past the edge.
    const std::vector<AxisLabel> labels = {{265, "gate -2%", 1, AxisLabel::Align::End},
                                           {315, "gate +2%", 1, AxisLabel::Align::Start},
                                           {265, "-2%", 0},
                                           {40, "-20%", 0}};
    const auto placed = place_labels(labels, 40, 560, 6.4, 6);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed[0].text, "gate -2%");
    EXPECT_EQ(placed[1].text, "gate +2%");
    EXPECT_EQ(placed[2].text, "-20%");
    EXPECT_NEAR(placed[2].centre, 40 + text_width("-20%", 6.4) / 2, 1e-9);
    for (std::size_t i = 0; i < placed.size(); ++i)
        for (std::size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_GE(std::fabs(placed[i].centre - placed[j].centre),
                      (text_width(placed[i].text, 6.4) + text_width(placed[j].text, 6.4)) / 2 + 6);
}

}  // namespace
}  // namespace vesko::simulator
