// Every example scenario run whole, console, reader and discovery on the
// simulated bus, in virtual time, with its key lines checked.
#include <gtest/gtest.h>

#include <cstdlib>

#include <cmath>
#include <string>

#include "simulator/default_scenario.h"
#include "simulator/scenario_load.h"
#include "simulator/session.h"
#include "support/captured_stream.h"

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

TEST(SimScenarios, TwoModulesOnePairedPicksThePairedOne) {
    const Ran r = run(example("two-modules-one-paired.toml"));
    const std::string& t = r.outcome.transcript;
    EXPECT_EQ(r.outcome.exit_code, 0);
    EXPECT_TRUE(has(t, "VantisImu: 2 Gantrell device(s), 1 MCU-paired\n"));
    EXPECT_TRUE(has(t, "VantisImu: using KVR-21A7C3\n"));
    EXPECT_TRUE(has(t, "  dominant axis Z (sign +)"));
    EXPECT_TRUE(has(t, "Z: 1 runs"));
    EXPECT_EQ(r.outcome.truth[2].runs, 1);
    EXPECT_LT(std::fabs(r.outcome.truth[2].error), 3e-4);
}

TEST(SimScenarios, NoMcuAndNoSerialCannotPickAndExitsOne) {
    const Ran r = run(example("no-mcu.toml"));
    EXPECT_EQ(r.outcome.exit_code, 1);
    EXPECT_TRUE(has(r.outcome.transcript, "VantisImu: 1 Gantrell device(s), 0 MCU-paired\n"));
    EXPECT_FALSE(has(r.outcome.transcript, "rotation angle"));
    EXPECT_TRUE(has(r.err, "VantisImu: cannot pick among 1 Gantrell device(s) (0 MCU-paired, no Telvar MCU on the bus)"));
    EXPECT_TRUE(has(r.err, "  KVR-21A7C3\n"));
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

TEST(SimScenarios, StreamGapDuringARunInvalidatesIt) {
    const Ran r = run(example("stream-gap-during-run.toml"));
    const std::string& t = r.outcome.transcript;
    EXPECT_EQ(r.outcome.exit_code, 0);
    const std::string gap = "  RUN INVALID: stream gap > 0.5 s during integration (max dt 0.80";
    ASSERT_TRUE(has(t, gap)) << t;
    EXPECT_EQ(count(t, "  scale = "), 1u);
    EXPECT_TRUE(has(t, "==== summary (1 runs) ====\n"));
}

TEST(SimScenarios, StarvedStreamFailsTheBiasCheck) {
    const Ran r = run(example("starved-stream.toml"));
    const std::string& t = r.outcome.transcript;
    EXPECT_EQ(r.outcome.exit_code, 0);
    // 450 samples a second: about 900 in the window, give or take the report
    // of three that straddles either edge of it.
    const std::string only = "2 s bias capture... only ";
    const std::size_t at = t.find(only);
    ASSERT_NE(at, std::string::npos) << t;
    const long count = std::strtol(t.c_str() + at + only.size(), nullptr, 10);
    EXPECT_GE(count, 890) << t;
    EXPECT_LE(count, 910) << t;
    EXPECT_TRUE(has(t, " samples \xE2\x80\x94 stream unhealthy, run aborted\n"));
    EXPECT_FALSE(has(t, "press Enter to ARM"));
    EXPECT_FALSE(has(t, "==== summary"));
    EXPECT_TRUE(has(r.terminal, "X: true 0.000977000  estimated -  (no runs)\n"));
}

TEST(SimScenarios, NoRotationRecordsNothing) {
    const Ran r = run(example("no-rotation.toml"));
    const std::string& t = r.outcome.transcript;
    EXPECT_EQ(r.outcome.exit_code, 0);
    EXPECT_TRUE(has(t, "  RUN INVALID: no rotation detected (")) << t;
    EXPECT_FALSE(has(t, "  scale = "));
    EXPECT_FALSE(has(t, "==== summary"));
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

TEST(SimScenarios, EveryExampleScenarioLoads) {
    for (const char* name : {"default.toml", "two-modules-one-paired.toml", "no-mcu.toml", "explicit-serial.toml",
                             "unplug-replug.toml", "stream-gap-during-run.toml", "starved-stream.toml",
                             "no-rotation.toml", "stream-faults.toml"}) {
        const ScenarioLoad load = load_scenario_file(std::string(ROTABENCH_SCENARIO_DIR) + "/" + name);
        EXPECT_TRUE(load.scenario.has_value()) << name << ": " << load.error;
    }
}

}  // namespace
}  // namespace vesko::simulator
