// Every example scenario run whole, console, reader and discovery on the
// simulated bus, in virtual time: each meets its own [expect] table, and some
// come within a bound of the truth behind the figures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What the tests ask of some examples beyond their own [expect] tables, in
// virtual time: how close each axis with a run comes to the module's truth,
// lines the terminal shows (the transcript with the operator's lines, then
// the truth), and all of standard error.
struct Beyond {
    double max_error_percent = 0.0;  // 0: not checked
    std::vector<std::string> lines;
    std::optional<std::string> err;
};

const std::map<std::string, Beyond> kBeyondExpect = {
    {"default.toml",
     {0.01,
      {"rotation angle in degrees for this run (90/180/360, q=quit): 180",
       "  press Enter to ARM, rotate exactly 180 deg (settle ~1 s still before/after), Enter again to finish: ",
       "  ...integrating, finish with Enter: ", "rotation angle in degrees for this run (90/180/360, q=quit): q",
       "X: true 0.000977000  estimated 0.000977001 (2 runs)  error +0.0001%",
       "K against the truth: largest |error| off the diagonal 0.0020% of the diagonal, on it 0.0022%"},
      ""}},
    {"explicit-serial.toml",
     {0.03,
      {"==== truth: simulated module KVR-30B118 on the jig ====", "X: true 0.001000000  estimated -  (no runs)"},
      std::nullopt}},
    {"unplug-replug.toml",
     {0.03, {"X: true 0.000977000  estimated 0.000976897 (1 run)  error -0.0105%"}, std::nullopt}},
    {"starved-stream.toml", {0.0, {"X: true 0.000977000  estimated -  (no runs)"}, std::nullopt}},
    {"stream-faults.toml", {0.1, {}, ""}},
    // Y's 2% of Z recovered within 0.05% of the diagonal, as are the default terms.
    {"large-coupling.toml",
     {0.01,
      {"  Y row  estimated [+0.3031%  0.000981393  -1.9830%]  true [+0.3026%  0.000981410  -1.9841%]",
       "K against the truth: largest |error| off the diagonal 0.0020% of the diagonal, on it 0.0022%"},
      ""}},
};

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

        const auto beyond = kBeyondExpect.find(entry.path().filename().string());
        if (beyond == kBeyondExpect.end()) continue;
        const Beyond& more = beyond->second;
        for (const std::string& line : more.lines) {
            EXPECT_TRUE(has(out.text(), line + "\n")) << path << " lacks the line: " << line;
        }
        if (more.err) {
            EXPECT_EQ(err.text(), *more.err) << path;
        }
        if (more.max_error_percent == 0.0) continue;
        for (const AxisTruth& a : run(*load.scenario).outcome.truth) {
            if (a.runs == 0) continue;
            EXPECT_LT(std::fabs(a.error) * 100.0, more.max_error_percent)
                << path << ": true " << a.true_scale << " estimated " << a.estimated;
        }
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
