// Every example scenario run whole, console, reader and discovery on the
// simulated bus, in virtual time: each meets its own [expect] table, and the
// truth behind the figures is checked here.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "simulator/scenario/default_scenario.h"
#include "simulator/scenario/expectations.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/session.h"
#include "simulator/sim_main.h"
#include "support/captured_stream.h"
#include "support/report_check.h"

namespace vesko::simulator {
namespace {

struct Ran {
    SessionOutcome outcome;
    std::string err;
    std::string terminal;  // the transcript as copied out, then the truth
};

Ran run(const Scenario& scenario) {
    test::CapturedStream out;
    test::CapturedStream err;
    SessionOptions options;
    options.time = platform::sim::TimeMode::Virtual;
    options.out = out.get();
    options.err = err.get();
    Ran ran;
    ran.outcome = run_session(scenario, options);
    ran.err = err.text();
    ran.terminal = out.text();
    EXPECT_TRUE(ran.terminal.starts_with(ran.outcome.transcript)) << "the terminal shows the transcript first";
    return ran;
}

Scenario example(const std::string& name) {
    const ScenarioLoad load = load_scenario_file(std::string(ROTABENCH_SCENARIO_DIR) + "/" + name);
    EXPECT_TRUE(load.scenario.has_value()) << load.error;
    return load.scenario.value_or(Scenario{});
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(SimScenarios, DefaultSessionCalibratesEveryAxisWithinAHundredthOfAPercent) {
    const ScenarioLoad load = parse_scenario(default_scenario_text(), "default");
    ASSERT_TRUE(load.scenario) << load.error;
    const Ran r = run(*load.scenario);
    const std::string& t = r.outcome.transcript;
    EXPECT_EQ(r.outcome.exit_code, 0);
    EXPECT_TRUE(has(t, "VantisImu: 1 Gantrell device(s), 1 MCU-paired\n"));
    EXPECT_TRUE(has(t, "IMU streaming from KVR-21A7C3\n\n"));
    // The operator's lines follow the questions, as on a terminal.
    EXPECT_TRUE(has(t, "rotation angle in degrees for this run (90/180/360, q=quit): 180\n  hold STILL"));
    EXPECT_TRUE(has(t, "Enter again to finish: \n  ...integrating, finish with Enter: \n  integral ["));
    EXPECT_EQ(count(t, "  scale = "), 6u);
    EXPECT_TRUE(has(t, "==== summary (6 runs) ====\n"));
    EXPECT_TRUE(has(t, "X: 2 runs"));
    EXPECT_TRUE(has(t, "Y: 2 runs"));
    EXPECT_TRUE(has(t, "Z: 2 runs"));
    EXPECT_TRUE(has(t, "(90/180/360, q=quit): q\n"));
    for (const AxisTruth& a : r.outcome.truth) {
        EXPECT_EQ(a.runs, 2);
        EXPECT_LT(std::fabs(a.error), 1e-4) << "true " << a.true_scale << " estimated " << a.estimated;
    }
    EXPECT_EQ(r.err, "");
}

TEST(SimScenarios, ExplicitSerialPicksThatModule) {
    const Ran r = run(example("explicit-serial.toml"));
    const std::string& t = r.outcome.transcript;
    EXPECT_EQ(r.outcome.exit_code, 0);
    EXPECT_TRUE(has(t, "VantisImu: 2 Gantrell device(s), 0 MCU-paired\n"));
    EXPECT_TRUE(has(t, "VantisImu: using KVR-30B118\n"));
    EXPECT_TRUE(has(t, "Y: 2 runs"));
    EXPECT_TRUE(has(r.terminal, "==== truth: simulated module KVR-30B118 on the jig ====\nX: true 0.001000000"));
    EXPECT_LT(std::fabs(r.outcome.truth[1].error), 3e-4);
}

TEST(SimScenarios, UnplugAndReplugReconnectsAndTheNextRunIsGood) {
    const Ran r = run(example("unplug-replug.toml"));
    EXPECT_EQ(r.outcome.exit_code, 0);
    EXPECT_TRUE(has(r.err, "failed (err 1167) \xE2\x80\x94 device gone, waiting for reconnect\n")) << r.err;
    EXPECT_TRUE(has(r.err, "VantisImu: reconnected to KVR-21A7C3\n")) << r.err;
    EXPECT_TRUE(has(r.outcome.transcript, "X: 1 runs"));
    EXPECT_LT(std::fabs(r.outcome.truth[0].error), 3e-4);
}

TEST(SimScenarios, StarvedStreamFailsTheBiasCheck) {
    const Ran r = run(example("starved-stream.toml"));
    const std::string& t = r.outcome.transcript;
    EXPECT_EQ(r.outcome.exit_code, 0);
    // 471 samples a second: 942 in the window, every time.
    EXPECT_TRUE(has(t, "2 s bias capture... only 942 samples \xE2\x80\x94 stream unhealthy, run aborted\n")) << t;
    EXPECT_FALSE(has(t, "press Enter to ARM"));
    EXPECT_FALSE(has(t, "==== summary"));
    EXPECT_TRUE(has(r.terminal, "X: true 0.000977000  estimated -  (no runs)\n"));
}

TEST(SimScenarios, BenignStreamFaultsLeaveTheRunAccepted) {
    const Ran r = run(example("stream-faults.toml"));
    EXPECT_EQ(r.outcome.exit_code, 0);
    EXPECT_TRUE(has(r.outcome.transcript, "  dominant axis Y (sign +)")) << r.outcome.transcript;
    EXPECT_EQ(r.outcome.truth[1].runs, 1);
    EXPECT_LT(std::fabs(r.outcome.truth[1].error), 1e-3);
    EXPECT_EQ(r.err, "");
}

TEST(SimScenarios, AJigAngleErrorShowsInTheTruthAsTheAngleRatio) {
    ScenarioLoad load = parse_scenario(default_scenario_text(), "default");
    ASSERT_TRUE(load.scenario);
    for (OperatorStep& step : load.scenario->script)
        if (auto* turn = std::get_if<TurnJig>(&step)) turn->degrees += 0.5;
    const Ran r = run(*load.scenario);
    const double expected = (180.0 / 180.5 + 360.0 / 360.5) / 2.0 - 1.0;  // about -0.21 %
    for (const AxisTruth& a : r.outcome.truth) {
        EXPECT_EQ(a.runs, 2);
        EXPECT_NEAR(a.error, expected, 1e-4);
    }
}

// Every scenario file, found by pattern so that a new one is checked the day
// it is added, carries expectations and meets them (rotabench-sim exits 3
// when it does not, as it does for a wrong one); rotabench-report reads each
// session back.
TEST(SimScenarios, EveryScenarioFileMeetsItsExpectations) {
    std::size_t checked = 0;
    std::size_t summaries = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(ROTABENCH_SCENARIO_DIR)) {
        if (entry.path().extension() != ".toml") continue;
        const std::string path = entry.path().string();
        const ScenarioLoad load = load_scenario_file(path);
        ASSERT_TRUE(load.scenario.has_value()) << load.error;
        EXPECT_TRUE(load.scenario->expect.has_value()) << path << " has no [expect] table";
        test::CapturedStream out;
        test::CapturedStream err;
        const char* argv[] = {"rotabench-sim", "--fast", path.c_str()};
        const int code = sim_main(3, argv, out.get(), err.get());
        EXPECT_EQ(code, load.scenario->expect ? load.scenario->expect->exit_code.value_or(code) : -1) << path << "\n"
                                                                                                    << err.text();
        // The same session read back by rotabench-report, from each form of log.
        summaries += test::expect_report_reproduces_summary(path, out.text(), err.text());
        ++checked;
    }
    EXPECT_GE(checked, 9u);
    EXPECT_GE(summaries, 9u);

    ScenarioLoad wrong = parse_scenario(default_scenario_text(), "default");
    ASSERT_TRUE(wrong.scenario && wrong.scenario->expect);
    wrong.scenario->expect->out_lines.push_back("VantisImu: using KVR-NOSUCH");
    const Ran r = run(*wrong.scenario);
    const auto unmet = first_unmet(*wrong.scenario->expect, true, r.outcome.exit_code, r.outcome.transcript, r.err);
    ASSERT_TRUE(unmet.has_value());
    EXPECT_EQ(*unmet, "standard output lacks, in its place, the line: VantisImu: using KVR-NOSUCH");
}

}  // namespace
}  // namespace vesko::simulator
