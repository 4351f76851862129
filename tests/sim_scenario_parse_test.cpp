// Scenario files: what a valid one gives, and errors that name file, line and key.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "simulator/scenario/default_scenario.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/sim_command_line.h"
#include "simulator/sim_main.h"
#include "support/captured_stream.h"

namespace vesko::simulator {
namespace {

TEST(SimScenarioParse, TheBuiltInSessionIsOneModulePairedAndTwoRunsPerAxis) {
    const ScenarioLoad load = parse_scenario(default_scenario_text(), "default.toml");
    ASSERT_TRUE(load.scenario) << load.error;
    const Scenario& s = *load.scenario;
    EXPECT_FALSE(s.serial.has_value());
    ASSERT_EQ(s.modules.size(), 1u);
    ASSERT_EQ(s.mcus.size(), 1u);
    EXPECT_EQ(s.jig_module, "KVR-21A7C3");
    EXPECT_EQ(s.modules[0].ports, (PortChain{1, 2}));
    EXPECT_EQ(s.mcus[0].ports, (PortChain{1, 4}));
    const ModuleParams defaults;
    EXPECT_EQ(s.modules[0].params.gyro_scale, defaults.gyro_scale);
    EXPECT_EQ(s.modules[0].params.gyro_bias, defaults.gyro_bias);
    EXPECT_EQ(s.modules[0].params.coupling, defaults.coupling);
    EXPECT_EQ(s.modules[0].params.first_timestamp, defaults.first_timestamp);
    int turns[3] = {0, 0, 0};
    for (const OperatorStep& step : s.script)
        if (const auto* t = std::get_if<TurnJig>(&step)) ++turns[t->axis];
    EXPECT_EQ(turns[0], 2);
    EXPECT_EQ(turns[1], 2);
    EXPECT_EQ(turns[2], 2);
    ASSERT_FALSE(s.script.empty());
    EXPECT_EQ(std::get<TypeLine>(s.script.back()).text, "q");
}

TEST(SimScenarioParse, TheBuiltInSessionIsScenariosDefaultTomlWordForWord) {
    std::FILE* f = std::fopen(ROTABENCH_SCENARIO_DIR "/default.toml", "rb");
    ASSERT_NE(f, nullptr);
    std::string text;
    char buf[1024];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    EXPECT_EQ(std::string(default_scenario_text()), text);
}

TEST(SimScenarioParse, ARunExpandsIntoWhatTheOperatorDoesAtEachQuestion) {
    const ScenarioLoad load = parse_scenario(R"(
[[bus.modules]]
serial = "A"
port = 2
[[script]]
run = 90
typed = "90deg"
axis = "Z"
turn = 90.5
seconds = 1.5
settle = 0.25
)",
                                             "t.toml");
    ASSERT_TRUE(load.scenario) << load.error;
    const auto& steps = load.scenario->script;
    ASSERT_EQ(steps.size(), 6u);
    EXPECT_EQ(std::get<TypeLine>(steps[0]).text, "90deg");
    EXPECT_EQ(std::get<TypeLine>(steps[1]).text, "");
    EXPECT_EQ(std::get<Wait>(steps[2]).seconds, 0.25);
    const TurnJig turn = std::get<TurnJig>(steps[3]);
    EXPECT_EQ(turn.axis, 2);
    EXPECT_EQ(turn.degrees, 90.5);
    EXPECT_EQ(turn.seconds, 1.5);
    EXPECT_EQ(std::get<Wait>(steps[4]).seconds, 0.25);
    EXPECT_EQ(std::get<TypeLine>(steps[5]).text, "");
}

TEST(SimScenarioParse, ShorthandsAndFaults) {
    const ScenarioLoad load = parse_scenario(R"(
serial = ""
jig = "B"
[[bus.modules]]
serial = "A"
port = "3.1.2"
[[bus.modules]]
serial = "B"
port = "3.2"
[bus.modules.model]
scale = 0.001
coupling = 0.01
[[script]]
fault = "silence"
seconds = 0.5
delay = 1
module = "A"
[[script]]
fault = "clock_leap"
seconds = 1
[[script]]
fault = "foreign_reports"
count = 3
report_id = 0x30
[[script]]
fault = "unplug"
seconds = 2
)",
                                             "t.toml");
    ASSERT_TRUE(load.scenario) << load.error;
    const Scenario& s = *load.scenario;
    EXPECT_EQ(s.serial, std::optional<std::string>(""));
    EXPECT_EQ(s.jig_module, "B");
    EXPECT_EQ(s.modules[0].ports, (PortChain{3, 1, 2}));
    EXPECT_EQ(s.modules[1].params.gyro_scale, (Vec3{0.001, 0.001, 0.001}));
    EXPECT_EQ(s.modules[1].params.coupling[0][0], 0.0);
    EXPECT_EQ(s.modules[1].params.coupling[2][1], 0.01);
    ASSERT_EQ(s.script.size(), 4u);
    const FaultStep silence = std::get<FaultStep>(s.script[0]);
    EXPECT_EQ(silence.module, "A");
    EXPECT_EQ(silence.delay, 1.0);
    EXPECT_EQ(std::get<Silence>(std::get<StreamFault>(silence.what)).duration_ns, 500'000'000);
    EXPECT_EQ(std::get<TimestampLeap>(std::get<StreamFault>(std::get<FaultStep>(s.script[1]).what)).ticks, 48'000'000u);
    const auto foreign = std::get<ForeignReports>(std::get<StreamFault>(std::get<FaultStep>(s.script[2]).what));
    EXPECT_EQ(foreign.count, 3);
    EXPECT_EQ(foreign.report_id, 0x30);
    EXPECT_EQ(std::get<Unplug>(std::get<FaultStep>(s.script[3]).what).seconds, 2.0);
}

struct Malformed {
    const char* text;
    const char* error;  // the whole message after "bad.toml:"
};

// A case prints as the message it expects (GoogleTest would print the
// pointers' bytes).
void PrintTo(const Malformed& m, std::ostream* os) { *os << m.error; }

class SimScenarioErrors : public ::testing::TestWithParam<Malformed> {};

TEST_P(SimScenarioErrors, NameTheLineAndTheKey) {
    const ScenarioLoad load = parse_scenario(GetParam().text, "bad.toml");
    EXPECT_FALSE(load.scenario.has_value());
    EXPECT_EQ(load.error, std::string("bad.toml:") + GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimScenarioErrors,
    ::testing::Values(
        Malformed{"title = \"a\"\ncolour = 3\n", "2: key \"colour\": unknown key"},
        Malformed{"[operator]\nturn_error_sd = -1\n", "2: key \"operator.turn_error_sd\": must lie between 0 and 90"},
        Malformed{"[[script]]\nquit = true\n[[script]]\nwait = 1\n",
                  "3: key \"script[1]\": comes after a quit, and would never be carried out"},
        Malformed{"[[script]]\ninterrupt = true\n[[script]]\nquit = true\n",
                  "3: key \"script[1]\": comes after an interrupt, and would never be carried out"},
        Malformed{"[expect]\nexit = \"stopped\"\n", "2: key \"expect.exit\": must be an exit code or \"interrupted\""},
        Malformed{"[expect]\nstdout = [\"re:(\"]\n", "2: key \"expect.stdout\": not a pattern: ("},
        Malformed{
            "[expect]\nstdout = ['re:a\\\\1\\44444444444444444444']\n",
            "2: key \"expect.stdout\": a pattern cannot refer back to a group (\\1): a\\\\1\\44444444444444444444"},
        Malformed{"[[bus.mcus]]\nport = 1\nmore_location_paths = [\"\"]\n",
                  "3: key \"bus.mcus[0].more_location_paths\": each entry must be a non-empty string"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = 1\ndetail_read_fails = 1\n",
                  "4: key \"bus.modules[0].detail_read_fails\": must be true or false"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = 1\nattributes_product_id = 0x10000\n",
                  "4: key \"bus.modules[0].attributes_product_id\": must lie between 0 and 65535"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = 1\n[bus.modules.model]\nscale = [0.001, -0.001, 0.001]\n",
                  "5: key \"bus.modules[0].model.scale\": must be greater than 0"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = 1\n[bus.modules.model]\nbias = [1, 2]\n",
                  "5: key \"bus.modules[0].model.bias\": must be a number or an array of three numbers (X, Y, Z)"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = 1\n[bus.modules.model]\nfirst_seq = 256\n",
                  "5: key \"bus.modules[0].model.first_seq\": must lie between 0 and 255"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = 1\n[bus.modules.model]\nrate_hz = 0\n",
                  "5: key \"bus.modules[0].model.rate_hz\": must lie between 3 and 10000"},
        Malformed{
            "[[bus.modules]]\nserial = \"A\"\nport = 1\n[bus.modules.model]\ncoupling = [[1,0,0],[0,0,0],[0,0,0]]\n",
            "5: key \"bus.modules[0].model.coupling[0][0]\": the diagonal must be 0"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\n", "1: key \"bus.modules[0].port\": missing"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = \"2..1\"\n",
                  "3: key \"bus.modules[0].port\": must be a port number or a chain of them such as \"2.1\" (port 1 "
                  "of the hub on port 2)"},
        Malformed{"[[bus.mcus]]\nport = \"1.4\"\n[[bus.modules]]\nserial = \"A\"\nport = \"1.4\"\n",
                  "2: key \"bus.mcus[0].port\": port already taken by the device of line 5"},
        Malformed{"[[bus.modules]]\nserial = \"A\"\nport = 1\n[[bus.mcus]]\nport = \"1.4\"\n",
                  "5: key \"bus.mcus[0].port\": port clashes (a device cannot be a hub) with the device of line 3"},
        Malformed{"jig = \"Z\"\n[[bus.modules]]\nserial = \"A\"\nport = 1\n",
                  "1: key \"jig\": no module on the bus has serial \"Z\""},
        Malformed{"[[script]]\nrun = 90\n", "1: key \"script[0].axis\": missing: say \"x\", \"y\" or \"z\""},
        Malformed{"[[script]]\nrun = 90\naxis = \"w\"\n", "3: key \"script[0].axis\": must be \"x\", \"y\" or \"z\""},
        Malformed{"[[script]]\nrun = -90\naxis = \"x\"\n",
                  "2: key \"script[0].run\": must be greater than 0 (type a bad angle with a \"type\" step)"},
        Malformed{"[[script]]\ntype = \"90\"\nwait = 1\n",
                  "3: key \"script[0].wait\": a step does one thing; this one already has \"type\""},
        Malformed{"[[script]]\nwait = \"long\"\n", "2: key \"script[0].wait\": must be a number"},
        Malformed{"[[script]]\nsay = \"hello\"\n",
                  "1: key \"script[0]\": a step needs one of run, type, wait, turn, fault, quit, interrupt"},
        Malformed{"[[script]]\nquit = false\n",
                  "2: key \"script[0].quit\": must be true (the script just ending closes the input)"},
        Malformed{"[[script]]\nfault = \"meltdown\"\n",
                  "2: key \"script[0].fault\": must be one of silence, unplug, clock_leap, short_reports, "
                  "foreign_reports, repeated_reports, swapped_reports, seq_restart"},
        Malformed{"[[script]]\nfault = \"silence\"\n", "1: key \"script[0].seconds\": missing: how long"},
        Malformed{"[[script]]\nfault = \"foreign_reports\"\nreport_id = 32\n",
                  "3: key \"script[0].report_id\": 0x20 (32) is the IMU report itself"},
        Malformed{"[[script]]\nfault = \"unplug\"\nseconds = 1\nmodule = \"X\"\n",
                  "4: key \"script[0].module\": no module on the bus has serial \"X\""},
        Malformed{"[[script]]\ntype = \"90\"\ncount = 2\n", "3: key \"script[0].count\": unknown key"},
        Malformed{"script = 3\n", "1: key \"script\": must be an array of tables ([[script]])"},
        Malformed{"rehearse = []\n", "1: key \"rehearse\": must be an array of tables ([[rehearse]])"},
        Malformed{"[[rehearse]]\naxis = \"y\"\ndegrees = 0\n",
                  "3: key \"rehearse[0].degrees\": must lie between 1 and 3600"},
        Malformed{"[[rehearse]]\naxis = \"x\"\n[[rehearse]]\nturn = 90\naxis = \"y\"\n",
                  "4: key \"rehearse[1].turn\": unknown key"},
        Malformed{"[[script]]\nrun = 1e308\naxis = \"x\"\n",
                  "2: key \"script[0].run\": the console would refuse \"1e+308\" as an angle (type a bad angle "
                  "with a \"type\" step)"},
        Malformed{"[[script]]\nrun = 90\ntyped = \"1e-320\"\naxis = \"x\"\n",
                  "3: key \"script[0].typed\": the console would refuse \"1e-320\" as an angle (type a bad angle "
                  "with a \"type\" step)"},
        // Text the TOML reader would assert on or treat as unreachable.
        Malformed{"[:(",
                  "1: Error while parsing key: expected bare key starting character or string delimiter, "
                  "saw ':'"},
        Malformed{"x = [1,\n}]\n", "2: Error while parsing value: could not determine value type"},
        Malformed{"title = \"a\"\n\xC3\xA9 = 1\n",
                  "2: text outside ASCII is allowed only inside a string or a comment"},
        Malformed{"title = 1 \xC3\xA9\n", "1: text outside ASCII is allowed only inside a string or a comment"},
        Malformed{"x = [0.[\"\xC3\xA9\"]]\n", "1: text outside ASCII is allowed only inside a string or a comment"},
        Malformed{"title = \"\"\"a\\\n\n  \xC3\xA9\"\"\"\n",
                  "3: a backslash in a \"\"\" string must not be followed by text outside ASCII"}));

TEST(SimScenarioParse, SizeAndStepLimits) {
    std::string steps;
    for (std::size_t i = 0; i <= kMaxScriptSteps; ++i) steps += "[[script]]\nwait = 0\n";
    EXPECT_EQ(parse_scenario(steps, "long.toml").error,
              "long.toml:1: key \"script\": at most 10000 steps; this script has 10001");
    const std::string pattern = "[expect]\nstdout = ['re:" + std::string(1001, 'a') + "']\n";
    EXPECT_EQ(parse_scenario(pattern, "re.toml").error,
              "re.toml:2: key \"expect.stdout\": a pattern is at most 1000 characters");
    std::string big = "# " + std::string(kMaxScenarioBytes, 'x') + "\n";
    EXPECT_EQ(parse_scenario(big, "big.toml").error,
              "big.toml: too long: a scenario file is at most 1048576 bytes (1 MiB)");
    // Text outside ASCII in strings and comments is read as before.
    EXPECT_TRUE(parse_scenario("title = \"\xC3\xA9 \\u00e9\" # \xC3\xA9\n", "ok.toml").scenario.has_value());
}

TEST(SimScenarioParse, TomlSyntaxErrorsNameTheFileAndLine) {
    const ScenarioLoad load = parse_scenario("title = \"a\"\n\n[[script]\n", "broken.toml");
    EXPECT_FALSE(load.scenario.has_value());
    EXPECT_EQ(load.error.rfind("broken.toml:3: ", 0), 0u) << load.error;
}

TEST(SimScenarioParse, AFileThatCannotBeReadSaysSo) {
    const ScenarioLoad missing = load_scenario_file("/nonexistent/nothing.toml");
    EXPECT_EQ(missing.error, "/nonexistent/nothing.toml: cannot read it");
    const ScenarioLoad directory = load_scenario_file(ROTABENCH_SCENARIO_DIR);
    EXPECT_FALSE(directory.scenario.has_value());
    EXPECT_FALSE(directory.error.empty());
}

TEST(SimCommandLine, BadScenarioOrArgumentsExitTwoWithTheReason) {
    test::CapturedStream out;
    test::CapturedStream err;
    const char* bad_file[] = {"rotabench-sim", "/nonexistent/nothing.toml"};
    EXPECT_EQ(sim_main(2, bad_file, out.get(), err.get()), 2);
    EXPECT_EQ(err.text(), "rotabench-sim: /nonexistent/nothing.toml: cannot read it\n");

    const std::string path = (std::filesystem::temp_directory_path() / "rotabench_sim_bad_scenario.toml").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("[[script]]\nrun = 90\naxis = \"q\"\n", f);
    std::fclose(f);
    test::CapturedStream err2;
    const char* malformed[] = {"rotabench-sim", path.c_str()};
    EXPECT_EQ(sim_main(2, malformed, out.get(), err2.get()), 2);
    EXPECT_EQ(err2.text(), "rotabench-sim: " + path + ":3: key \"script[0].axis\": must be \"x\", \"y\" or \"z\"\n");
    std::remove(path.c_str());

    // Command lines and what they give: help and version on standard output,
    // each argument that cannot be taken named with the reason, then the usage line.
    const std::string no_folder = (std::filesystem::temp_directory_path() / "rotabench-no-such-folder").string();
    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::string in_no_folder = no_folder + "/x.svg";
    struct Case {
        std::vector<const char*> args;
        int code;
        std::string err;        // before the usage line, if the code is 2
        std::string out_start;  // what standard output begins with
    };
    const std::string no_mcu = std::string(ROTABENCH_SCENARIO_DIR) + "/no-mcu.toml";
    for (const Case& c : std::vector<Case>{
             {{"a.toml", "b.toml"}, 2, "cannot take b.toml: a second scenario (a.toml is the first)", ""},
             {{"--help"}, 0, "", std::string(kSimUsageLine) + "Runs the calibration console"},
             {{"--version"}, 0, "", "rotabench-sim " ROTABENCH_VERSION "\n"},
             {{"--jobs", "2"}, 2, "cannot take --jobs: only with --study or --swarm", ""},
             {{"--study", "5", "--svg-range", "1"}, 2, "cannot take --svg-range: only with --svg", ""},
             {{"--study", "5", "--fast"}, 2, "cannot take --fast: a study always runs in virtual time", ""},
             {{"--rehearse", "--fast"}, 2, "cannot take --fast: a rehearsal runs in real time", ""},
             {{"--swarm", "5", "--rehearse"}, 2, "cannot take --swarm: not with --rehearse", ""},
             {{"--study", "5", "--jobs", "0"}, 2, "cannot take --jobs 0: must be 1 or more", ""},
             {{"--study", "5", "--jobs"}, 2, "cannot take --jobs: needs a value after it", ""},
             {{"--study", "0"}, 2, "cannot take --study 0: must be 1 or more", ""},
             {{"--study", "x5"}, 2, "cannot take --study x5: must be a whole number from 1 to 1000000", ""},
             {{"--study", "5", "--seed"}, 2, "cannot take --seed: needs a value after it", ""},
             {{"--study", "5", "--svg", "a.svg", "--svg-range", "0"},
              2,
              "cannot take --svg-range 0: must be a percentage above 0 and at most 100",
              ""},
             {{"--bogus"}, 2, "cannot take --bogus: not an option", ""},
             // Checked before the first session runs: nothing on standard output.
             {{"--study", "1", "--svg", folder.c_str()}, 2, "cannot take --svg " + folder + ": is a folder", ""},
             {{"--study", "1", "--svg", in_no_folder.c_str()},
              2,
              "cannot take --svg " + in_no_folder + ": no folder " + no_folder,
              ""},
             // No session with a mean: said so, not a table of zeros.
             {{"--study", "2", no_mcu.c_str()},
              kExitStudyWithoutSummary,
              "rotabench-sim: no session of the 2 printed a mean for any axis: nothing to summarise (--csv gives "
              "each session's exit code)\n",
              "study: 2 sessions of " + no_mcu + ", noise seeds 1 to 2\n"},
             {{"--study", "2", "--csv", no_mcu.c_str()},
              kExitStudyWithoutSummary,
              "rotabench-sim: no session of the 2 printed a mean for any axis: nothing to summarise\n",
              "session,seed,"},
         }) {
        std::vector<const char*> argv = c.args;
        argv.insert(argv.begin(), "rotabench-sim");
        test::CapturedStream out3;
        test::CapturedStream err3;
        EXPECT_EQ(sim_main(static_cast<int>(argv.size()), argv.data(), out3.get(), err3.get()), c.code) << argv[1];
        EXPECT_EQ(err3.text(), c.code == 2 ? "rotabench-sim: " + c.err + "\n" + kSimUsageLine : c.err) << argv[1];
        EXPECT_EQ(out3.text().substr(0, c.out_start.size()), c.out_start) << argv[1];
        if (c.out_start.empty()) {
            EXPECT_EQ(out3.text(), "") << argv[1];
        }
    }
    EXPECT_EQ(out.text(), "");
}

}  // namespace
}  // namespace vesko::simulator
