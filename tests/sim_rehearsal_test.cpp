// What a rehearsal's truth says of each armed run, for the causes that a
// person at the terminal test does not produce: an Enter before the turn, a
// wrong angle typed, the stream lost at an edge, a turn into the next bias
// capture, a run cut short, and a good run.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "simulator/scenario/scenario_load.h"
#include "simulator/session/rehearsal_truth.h"
#include "simulator/session/session.h"
#include "support/captured_stream.h"

namespace vesko::simulator {
namespace {

constexpr std::int64_t kS = 1'000'000'000;

struct Case {
    const char* name;
    std::optional<double> plan_degrees;    // the plan's angle, typed 90 either way
    bool turned;                           // the jig turned its 90 (or the plan's) from 11 s to 12.5 s
    double finished_s;                     // the finishing Enter (armed at 10 s); < 0: none
    std::optional<double> scale_of_truth;  // accepted: its scale over the true one
    double samples_until_s;                // the stream stops then (from 7 s, every millisecond)
    double previous_turn_end_s;            // the turn before this run's (its angle typed at 7 s)
    RunVerdict::Kind kind;
    std::string cause;
    std::optional<double> explained;
};

TEST(RehearsalTruth, SaysWhatHappenedToEachRefusedOrSuspectRun) {
    ModuleParams truth;
    const double true_x = truth.gyro_scale[0];
    using K = RunVerdict::Kind;
    for (const Case& c : std::vector<Case>{
             {"an Enter before the turn", std::nullopt, false, 10.6, std::nullopt, 20, 0, K::Refused,
              "an Enter before the jig turned (0.6 s after the arming Enter; it turns after 1 s)", std::nullopt},
             {"a wrong angle typed", 180.0, true, 13.5, 0.5, 20, 0, K::Suspect,
              "a wrong angle typed (90 typed, the jig turned 180.0 deg)", -0.5},
             {"the stream lost at the finishing edge", std::nullopt, true, 13.5, std::nullopt, 12.9, 0, K::Refused,
              "the stream lost at an edge, before the finishing Enter (no sample for 0.60 s)", std::nullopt},
             {"a turn into the bias capture", std::nullopt, true, 13.5, 1.02, 20, 7.5, K::Suspect,
              "the jig still turning from the run before during the bias capture", std::nullopt},
             {"a good run", std::nullopt, true, 13.5, 1.001, 20, 0, K::Good, "", std::nullopt},
             {"Ctrl-C in the turn", std::nullopt, true, -1, std::nullopt, 20, 0, K::Refused,
              "cut short before its finishing Enter (Ctrl-C, or the input ended)", std::nullopt},
         }) {
        RehearsedRun run;
        run.typed = "90";
        run.typed_degrees = 90.0;
        run.plan.degrees = c.plan_degrees;
        run.jig_degrees = c.plan_degrees.value_or(90.0);
        run.angle_ns = 7 * kS;
        run.armed_ns = 10 * kS;
        if (c.finished_s >= 0) run.finished_ns = std::llround(c.finished_s * 1e9);
        if (c.turned) run.turn = JigTurn{0, run.jig_degrees * 3.14159265358979323846 / 180.0, 11 * kS, 1'500'000'000};
        if (c.scale_of_truth) {
            RunResult r;
            r.scale = true_x * *c.scale_of_truth;
            run.result = r;
        }
        std::vector<std::int64_t> samples;
        for (std::int64_t t = 7 * kS; t < std::llround(c.samples_until_s * 1e9); t += 1'000'000) samples.push_back(t);
        const RunVerdict v = judge_rehearsed_run(run, truth, samples, std::llround(c.previous_turn_end_s * 1e9));
        EXPECT_EQ(v.kind, c.kind) << c.name;
        EXPECT_EQ(v.cause, c.cause) << c.name;
        EXPECT_EQ(v.explained.has_value(), c.explained.has_value()) << c.name;
        if (v.explained && c.explained) {
            EXPECT_NEAR(*v.explained, *c.explained, 1e-9) << c.name;
        }
    }
}

// A rehearsal in virtual time, a typist at the keyboard: the silence that the
// script gives 0.5 s after its arming Enter comes 0.5 s after the typist's,
// before the jig turns and into its turn, and the truth says so.
TEST(RehearsalTruth, AScenarioFaultComesAtItsPlaceInTheDialogue) {
    const ScenarioLoad load = load_scenario_file(ROTABENCH_SCENARIO_DIR "/stream-gap-during-run.toml");
    ASSERT_TRUE(load.scenario.has_value()) << load.error;
    struct Line {
        double pause_s;  // before it is typed
        std::string text;
    };
    const std::vector<Line> lines = {{0.5, "90"}, {2.5, ""}, {4.0, ""}, {0.5, "q"}};
    std::size_t line = 0;
    std::size_t at = 0;
    bool typing = false;
    test::CapturedStream out;
    test::CapturedStream err;
    SessionOptions options;
    options.time = platform::sim::TimeMode::Virtual;
    options.out = out.get();
    options.err = err.get();
    options.keyboard = [&](platform::sim::SimBus& bus) {
        ConsoleIo io;
        io.read_char = [&] {
            if (!typing) {
                if (line == lines.size()) return EOF;
                bus.clock().sleep_until(bus.now_ns() + std::llround(lines[line].pause_s * 1e9));
                typing = true;
                at = 0;
            }
            if (at < lines[line].text.size())
                return static_cast<int>(static_cast<unsigned char>(lines[line].text[at++]));
            typing = false;
            ++line;
            return static_cast<int>('\n');
        };
        io.sleep = [&bus](std::chrono::milliseconds d) {
            bus.clock().sleep_until(bus.now_ns() + std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
        };
        return io;
    };
    const SessionOutcome outcome = run_session(*load.scenario, options);
    ASSERT_EQ(outcome.timeline.faults.size(), 1u);
    ASSERT_EQ(outcome.timeline.lines.size(), lines.size());
    EXPECT_NEAR(static_cast<double>(outcome.timeline.faults[0].at_ns - outcome.timeline.lines[1].at_ns), 0.5e9, 1e3);
    const std::string shown = out.text();
    EXPECT_NE(shown.find("  RUN INVALID: stream gap > 0.5 s during integration (max dt 0.8"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find(
                  "run 1: typed 90, jig +X 90.0 deg: refused: the stream lost inside the run (no sample for 0.8"),
              std::string::npos)
        << shown;
    EXPECT_NE(err.text().find("[rotabench-sim] the jig is turning +X (1.5 s)"), std::string::npos) << err.text();
}

}  // namespace
}  // namespace vesko::simulator
