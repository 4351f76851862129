// rotabench-report on the sessions the example scenarios really produce: it
// finds their runs and recomputes the console's own summary byte for byte,
// from the log as tee, script or rotabench-sim keeps it (every example is
// checked by the test that plays them all, with expect_report_reproduces_summary).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "console/console_texts.h"
#include "console/rotation_run.h"
#include "report/report_main.h"
#include "simulator/scenario/default_scenario.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/session.h"
#include "simulator/study/study.h"
#include "support/captured_stream.h"
#include "support/report_check.h"
#include "text/printf_text.h"

namespace vesko::report {
namespace {

struct Reported {
    int code = -1;
    std::string out, err;
};

Reported report(const std::string& log, std::vector<const char*> args) {
    test::CapturedStream in, out, err;
    std::fwrite(log.data(), 1, log.size(), in.get());
    std::rewind(in.get());
    args.insert(args.begin(), "rotabench-report");
    args.push_back("-");
    Reported r;
    r.code = report_main(static_cast<int>(args.size()), args.data(), in.get(), out.get(), err.get());
    r.out = out.text();
    r.err = err.text();
    return r;
}

std::string summary_block(const std::string& text) {
    const auto from = text.find("==== summary");
    const auto gate = text.find("gate: ", from);
    return from == std::string::npos || gate == std::string::npos ? ""
                                                                  : text.substr(from, text.find('\n', gate) - from);
}

simulator::SessionOutcome play(const std::string& path) {
    const auto load = simulator::load_scenario_file(path);
    EXPECT_TRUE(load.scenario) << load.error;
    simulator::SessionOptions options;
    options.time = platform::sim::TimeMode::Virtual;
    test::CapturedStream out, err;
    options.out = out.get();
    options.err = err.get();
    return simulator::run_session(load.scenario.value_or(simulator::Scenario{}), options);
}

// What tee keeps: no typed answers, so each question runs on into the next line.
std::string as_tee_keeps_it(const std::string& transcript) {
    static const char* const questions[] = {"q=quit): ", "Enter again to finish: ", "finish with Enter: "};
    std::string out;
    std::size_t start = 0;
    while (start < transcript.size()) {
        std::size_t end = transcript.find('\n', start);
        if (end == std::string::npos) end = transcript.size() - 1;
        std::string line = transcript.substr(start, end + 1 - start);
        for (const char* q : questions) {
            const auto at = line.find(q);
            if (at != std::string::npos) line.erase(at + std::string(q).size());
        }
        out += line;
        start = end + 1;
    }
    return out;
}

// What script keeps: CR-LF line ends, standard error among the lines.
std::string as_script_keeps_it(const std::string& transcript, const std::string& diagnostics) {
    std::string mixed = transcript;
    mixed.insert(mixed.find('\n') + 1, diagnostics);
    std::string out;
    for (char c : mixed) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return "Script started on 2026-12-09 10:00:00+00:00 [COMMAND=\"rotabench\"]\r\n" + out;
}

double axis_mean(const std::string& report_text, char axis) {
    const auto at = report_text.find(std::string("\n") + axis + ": ");
    const auto mean = report_text.find("mean ", at);
    return at == std::string::npos ? 0 : std::atof(report_text.c_str() + mean + 5);
}

TEST(Report, DroppingAWrongTurnRestoresTheAxisMean) {
    const auto session = play(std::string(ROTABENCH_SCENARIO_DIR) + "/wrong-turn.toml");
    const Reported all = report(session.transcript, {});
    const Reported dropped = report(session.transcript, {"--drop", "2"});
    ASSERT_EQ(dropped.code, 0) << dropped.err;
    const double truth = 0.000977;
    EXPECT_GT(std::abs(axis_mean(all.out, 'X') / truth - 1), 0.15);
    EXPECT_LT(std::abs(axis_mean(dropped.out, 'X') / truth - 1), 1e-4);
    EXPECT_EQ(axis_mean(dropped.out, 'Y'), axis_mean(all.out, 'Y'));
    EXPECT_NE(dropped.out.find("\n    2  X+             90        0.000488"), std::string::npos) << dropped.out;
    EXPECT_NE(dropped.out.find("==== summary (6 runs) ====\nX: 2 runs"), std::string::npos);
    // The wrong turn is flagged, and fails the gate until it is dropped.
    EXPECT_NE(all.out.find("\n    2  X+             90        0.000488477     0.3%  suspect: scale -50.0% from the "
                           "axis's other runs: a wrong turn, or a wrong angle typed? (--drop 2 leaves it out)\n"),
              std::string::npos)
        << all.out;
    EXPECT_EQ(all.code, kExitFail);
    EXPECT_NE(all.out.find("\ngate: FAIL, largest difference 18.12% of the mean, between Y and X (limit 2.00%)\n"),
              std::string::npos);
    EXPECT_EQ(dropped.code, kExitPass);
    EXPECT_NE(dropped.out.find("\ngate: PASS, largest difference 0.77% of the mean (limit 2.00%)\n"),
              std::string::npos);
    // Limits about the largest difference (0.76783...%): the figures printed
    // with the digits that tell them apart whenever the verdict rests on them.
    struct Gate {
        const char* limit;
        int code;
        const char* line;
    };
    for (const Gate& g : std::vector<Gate>{
             {"0.5", kExitFail, "\ngate: FAIL, largest difference 0.77% of the mean, between Y and Z (limit 0.50%)\n"},
             {"0.767", kExitFail,
              "\ngate: FAIL, largest difference 0.768% of the mean, between Y and Z (limit 0.767%)\n"},
             {"0.7678", kExitFail,
              "\ngate: FAIL, largest difference 0.76783% of the mean, between Y and Z (limit 0.76780%)\n"},
             {"0.768", kExitPass, "\ngate: PASS, largest difference 0.7678% of the mean (limit 0.7680%)\n"},
             {"0.77", kExitPass, "\ngate: PASS, largest difference 0.768% of the mean (limit 0.770%)\n"},
         }) {
        const Reported r = report(session.transcript, {"--drop", "2", "--gate", g.limit});
        EXPECT_EQ(r.code, g.code) << g.limit;
        EXPECT_NE(r.out.find(g.line), std::string::npos) << r.out;
    }
    // A crooked mount: a run with 6% of its turn on another axis.
    std::string crooked = session.transcript;
    const auto at = crooked.find("off-axis leakage 0.3%");
    crooked.replace(at, 21, "off-axis leakage 6.0%");
    EXPECT_NE(report(crooked, {})
                  .out.find("\n    1  X+            180        0.000977026     6.0%  suspect: leakage "
                            "6.0% is over 5%: a crooked mount? (--drop 1 leaves it out)\n"),
              std::string::npos);
    // --matrix gives K and its C array only for runs that hold together: no
    // suspect run kept, no residual over the bound. The built-in session with
    // its first 180 typed as 90 has no suspect run (its scale line stands).
    std::string typed_90 = play(std::string(ROTABENCH_SCENARIO_DIR) + "/default.toml").transcript;
    typed_90.replace(typed_90.find("q=quit): 180"), 12, "q=quit): 90");
    typed_90.replace(typed_90.find("exactly 180 deg"), 15, "exactly 90 deg");
    struct MatrixCase {
        const std::string& log;
        std::vector<const char*> args;
        int code;
        std::string shown;
    };
    for (const MatrixCase& c : std::initializer_list<MatrixCase>{
             {session.transcript,
              {"--matrix"},
              kExitFail,
              "\nno matrix: run 2 is suspect (scale -50.0% from the axis's other runs: a wrong turn, or a wrong angle "
              "typed?): --drop 2 leaves it out\n"},
             {session.transcript,
              {"--matrix", "--json"},
              kExitFail,
              "\"matrix\": null, \"refused\": \"run 2 is suspect"},
             {crooked,
              {"--matrix", "--csv"},
              kExitFail,
              ",refused,,,,,,,,,,,,\"runs 1 and 2 are suspect (run 1: leakage 6.0% is over 5%: a crooked mount?; run "
              "2: "
              "scale -50.0% from the axis's other runs: a wrong turn, or a wrong angle typed?): --drop 1,2 leaves them "
              "out\"\n"},
             {session.transcript,
              {"--matrix", "--drop", "2"},
              kExitPass,
              "module KVR-21A7C3: cross-axis fit of 6 runs in -, run 2 left out by --drop 2\n"},
             {typed_90,
              {"--matrix"},
              kExitFail,
              "\nno matrix: run 1's residual is +71.9946 deg on X, over the 2 deg a hand jig's angle error explains: a "
              "turn other than the angle typed, in this run or another about X?\nresidual per run, K x integral - turn "
              "(deg):\n  run   1  X+ 90     X +71.9946"},
         }) {
        const Reported r = report(c.log, c.args);
        EXPECT_EQ(r.code, c.code) << c.args.back() << "\n" << r.out;
        EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("kGyroCorrection") == std::string::npos, c.code != kExitPass) << r.out;
        EXPECT_EQ(r.out.find("K: rate") == std::string::npos, c.code != kExitPass) << r.out;
    }
}

// A run's scale line with `scale` where the console prints its figure, the rest as it printed it.
std::string scale_line(const std::string& scale) {
    return "  dominant axis Z (sign -)  off-axis leakage 0.5%\n  scale = " + scale +
           " rad/s/LSB   vs 1/1024: -0.26%   vs 0.001: -2.60%\n";
}

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

TEST(Report, TrustsOnlyWhatTheConsolePrintedAsItStands) {
    const std::string streaming = "IMU streaming from KVR-1\n\n";
    const std::string run =
        "  dominant axis Z (sign -)  off-axis leakage 0.5%\n"
        "  scale = 0.000973977 rad/s/LSB   vs 1/1024: -0.26%   vs 0.001: -2.60%\n";
    const std::string incomplete =
        "rotabench-report: -: incomplete: no summary at its end (cut short, or still running); its runs are "
        "reported as they are\n";
    // A run as the console prints it: its angle question, integral, dominant-axis and scale lines.
    const auto run_of = [](const char* angle, double scale) {
        return printf_text(texts::kArmQuestion, std::atof(angle)) + texts::kIntegrating + "\n" +
               printf_text(texts::kRunIntegral, 0.0, 0.0, -3200.0, 1500ull, 0.001) +
               printf_text(texts::kRunDominant, 'Z', '-', 0.5) +
               printf_text(texts::kRunScale, scale, vs_1024_pct(scale), vs_0001_pct(scale));
    };
    const std::string summary =
        "\n==== summary (1 runs) ====\nX: NO RUNS \xE2\x80\x94 gate requires all axes\n"
        "Y: NO RUNS \xE2\x80\x94 gate requires all axes\n"
        "Z: 1 runs  mean 0.000973977  spread 0.00%  vs 1/1024 -0.26%  vs 0.001 -2.60%\n"
        "gate: per-axis mean must sit within ~2% of one consistent value on all three axes\n";
    std::string edited = summary;
    edited.replace(edited.find("0.000973977"), 11, "0.000977000");
    struct Case {
        std::string log;
        std::vector<const char*> args;
        int code;
        std::string err;
        std::string out = {};  // a piece of the report, when given
    };
    for (const Case& c : std::vector<Case>{
             {"hello\n", {}, 2, "rotabench-report: -: not a rotabench session: none of the console's lines is in it\n"},
             {streaming + run + streaming,
              {},
              2,
              "rotabench-report: -: more than one session: a second \"IMU streaming from\" at line 5; keep one "
              "session per log\n"},
             {streaming, {}, 1, "rotabench-report: -: no accepted runs in this session\n"},
             {streaming + run, {"--drop", "2"}, 2, "rotabench-report: --drop 2: the session has runs 1 to 1\n"},
             {streaming + run, {"--drop", "1"}, 1, incomplete + "rotabench-report: -: no runs left after --drop\n"},
             {streaming + run,
              {"--drop", "1,x"},
              2,
              std::string(
                  "rotabench-report: cannot take --drop 1,x: must be run numbers from 1, separated by commas\n") +
                  kReportUsage},
             {streaming + run,
              {"--csv", "--json"},
              2,
              std::string("rotabench-report: cannot take --json: one form only, and --csv is given\n") + kReportUsage},
             {streaming + run,
              {"--gate", "nan"},
              2,
              std::string("rotabench-report: cannot take --gate nan: must be a percentage from 0 to 100\n") +
                  kReportUsage},
             {streaming + run,
              {"--gate", "%"},
              2,
              std::string("rotabench-report: cannot take --gate %: must be a percentage from 0 to 100\n") +
                  kReportUsage},
             {streaming + run, {"--gate", "3%"}, 4, incomplete, "(limit 3.00%)"},
             {streaming + run, {"--help"}, 0, ""},
             {streaming + run, {"--version"}, 0, ""},
             {streaming + run,
              {"-x"},
              2,
              std::string("rotabench-report: cannot take -x: not an option\n") + kReportUsage},
             {streaming + run,
              {"--drop", "1", "a.log"},
              2,
              std::string("rotabench-report: cannot take --drop: numbers the runs of one LOG, and 2 are given\n") +
                  kReportUsage},
             // A figure edited, or no longer a number: never a zero, never a run that vanishes.
             {streaming + scale_line("nan"),
              {},
              2,
              "rotabench-report: -:4: a scale line not as the console prints it\n"},
             {streaming + scale_line("1e300"),
              {},
              2,
              "rotabench-report: -:4: a scale line not as the console prints it\n"},
             {streaming + scale_line("0.00x488477"),
              {},
              2,
              "rotabench-report: -:4: a scale line not as the console prints it\n"},
             {streaming + run + scale_line("abc"),
              {},
              2,
              "rotabench-report: -:6: a scale line not as the console prints it\n"},
             {streaming + scale_line("0.000488477"),
              {},
              2,
              "rotabench-report: -:4: a scale line whose deviations do not follow from its scale\n"},
             {streaming + run.substr(run.find("  scale")),
              {},
              2,
              "rotabench-report: -:3: a scale line without the dominant-axis line before it\n"},
             {streaming + "  dominant axis W (sign -)  off-axis leakage 0.5%\n",
              {},
              2,
              "rotabench-report: -:3: a dominant-axis line not as the console prints it\n"},
             {streaming + "  integral [1600.0 16.0 -8.0] LSB*s  (1000 samples, max dt inf s)\n",
              {},
              2,
              "rotabench-report: -:3: an integral line not as the console prints it\n"},
             {streaming + "  integral [1600.0 16.0 -8.0] LSB*s  (122222222222222222222222 samples, max dt 0.0010 s)\n",
              {},
              2,
              "rotabench-report: -:3: an integral line not as the console prints it\n"},
             // Cut before the summary, or saved as UTF-16 with its byte-order mark: read, and said to be incomplete.
             {streaming + run, {}, 4, incomplete},
             // A run about Z alone: no matrix, not decided; a run whose integral line is lost: none either.
             {"IMU streaming from KVR-1\n  integral [0.0 0.0 -3200.0] LSB*s  (1500 samples, max dt 0.0010 s)\n" + run,
              {"--matrix"},
              4,
              incomplete},
             {streaming + run,
              {"--matrix"},
              2,
              incomplete + "rotabench-report: -: run 1 has no integral line before it (lines lost?): no matrix\n"},
             {utf16le(streaming + run), {}, 4, incomplete},
             // The reader's message inside the summary block, as a terminal's record has it.
             {streaming + run +
                  "\n==== summary (1 runs) ====\nX: NO RUNS \xE2\x80\x94 gate requires all axes\n"
                  "VantisImu: stream silent 3s \xE2\x80\x94 module unplugged?\nY: NO RUNS \xE2\x80\x94 gate requires "
                  "all axes\n"
                  "Z: 1 runs  mean 0.000973977  spread 0.00%  vs 1/1024 -0.26%  vs 0.001 -2.60%\n",
              {},
              4,
              ""},
             {streaming + run + "\n==== summary (1 runs) ====\nX: NO RUNS\n",
              {},
              2,
              "rotabench-report: -:7: a summary line not as the console prints it\n"},
             // Each summary block is checked: a session is summed up once.
             {streaming + run + summary, {}, 4, ""},
             {streaming + run + edited,
              {},
              2,
              "rotabench-report: -: the console's summary does not follow from the runs in the log (lines lost or "
              "edited?)\n"},
             {streaming + run + edited + summary,
              {},
              2,
              "rotabench-report: -:12: a second summary block in one session\n"},
             // What the operator typed after a question is the operator's, whatever its words (as script keeps it).
             {streaming + texts::kAngleQuestion +
                  "180  scale = 0.001000000 rad/s/LSB   vs 1/1024: +2.40%   vs 0.001: "
                  "+0.00%\r\n" +
                  run_of("180", 0.000973977) + summary,
              {},
              4,
              ""},
             // An angle no jig turns by hand: flagged, and out of the statistics, which stay finite.
             {streaming + run_of("180", 0.000973977) + run_of("180", 0.000975977) +
                  run_of("1e300", 1e300 * kPi / 180 / 3200),
              {},
              4,
              incomplete,
              "  suspect: angle 1e+300 deg is over ten turns (3600 deg): a wrong angle typed? (--drop 3 leaves it "
              "out)\n"},
             {streaming + run_of("180", 0.000973977) + run_of("180", 0.000975977) +
                  run_of("1e300", 1e300 * kPi / 180 / 3200),
              {},
              4,
              incomplete,
              "\nZ: sd 0.000001414  standard error 0.000001000  95% interval 0.000962271 to 0.000987683\n"},
             // Scales edited past any gyroscope's (with their deviations): statistics still numbers.
             {streaming + run_of("180", 2e200) + run_of("180", 4e200), {}, 4, incomplete, "\nZ: sd 1414213562373095"},
             // Bytes that are not UTF-8, in script's header and in the serial: U+FFFD in the JSON, the rest kept.
             {"Script started on 2026-12-09 \xC0\x80\xED\xA0\x80\xF5\x80\x80\x80 [COMMAND=\"rotabench\"]\r\n"
              "IMU streaming from KVR-\xF4\x8F\xBF\xBF\xF4\x90\x80\x80\xED\x9F\xBF\xE0\x80\xAF\xF0\x8F\xBF\xBF"
              "\xE2\x82\n\n" +
                  run,
              {"--json"},
              4,
              incomplete,
              "\"started\": \"2026-12-09 \\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd"
              "\\ufffd\", \"complete\": false, \"serial\": "
              "\"KVR-\xF4\x8F\xBF\xBF\\ufffd\\ufffd\\ufffd\\ufffd\xED\x9F\xBF\\ufffd\\ufffd\\ufffd"
              "\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\", "},
         }) {
        const Reported r = report(c.log, c.args);
        EXPECT_EQ(r.code, c.code) << c.log;
        EXPECT_EQ(r.err, c.err);
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    }
}

TEST(Report, ReadsBackEachStudySessionWithTheGateOutcomeTheStudyCounts) {
    // The Z axis 2% off the others and an operator whose turns scatter by a
    // degree: about half of the sessions pass the gate.
    const std::string text = std::string(simulator::default_scenario_text()) + "[operator]\nturn_error_sd = 1.0\n";
    auto load = simulator::parse_scenario(text, "study.toml");
    ASSERT_TRUE(load.scenario) << load.error;
    load.scenario->modules[0].params.gyro_scale = {0.000977, 0.000977, 0.000997};
    const auto study = simulator::run_study(*load.scenario, 16, 1, 2);
    int passed = 0;
    for (const simulator::StudySession& s : study) {
        simulator::SessionOptions options;
        options.time = platform::sim::TimeMode::Virtual;
        options.out = options.err = nullptr;
        const auto session = simulator::run_session(simulator::with_seed(*load.scenario, s.seed), options);
        const Reported r = report(session.transcript, {});
        EXPECT_EQ(r.code, s.gate_passed ? kExitPass : kExitFail) << "seed " << s.seed << "\n" << r.out;
        passed += s.gate_passed;
    }
    EXPECT_GT(passed, 0);
    EXPECT_LT(passed, 16);
}

TEST(Report, SeveralLogsMakeOneTableAndTheWorstExitCode) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("rotabench-report-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    // A file name need not be UTF-8 (here an overlong '/'); its bytes as they
    // are, not through a path, which on Windows takes them for the system's
    // code page.
    const std::string good = (dir / "good.log").string(), wrong = dir.string() + "/wrong\xC0\xAF.log";
    for (const auto& [file, scenario] : {std::pair{good, "/default.toml"}, std::pair{wrong, "/wrong-turn.toml"}}) {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        const std::string text = play(std::string(ROTABENCH_SCENARIO_DIR) + scenario).transcript;
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    test::CapturedStream in, out, err;
    const char* csv[] = {"rotabench-report", "--csv", good.c_str(), wrong.c_str()};
    EXPECT_EQ(report_main(4, csv, in.get(), out.get(), err.get()), kExitFail);
    const std::string table = out.text();
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(table.substr(at, end - at));
    ASSERT_EQ(lines.size(), 1u + (6 + 4) + (7 + 4));  // the header, then per log its runs, axes and gate
    for (const std::string& line : lines) {           // 29 fields: the commas outside quoted fields
        int commas = 0;
        bool quoted = false;
        for (char c : line) quoted ^= c == '"', commas += !quoted && c == ',';
        EXPECT_EQ(commas, 28) << line;
    }
    EXPECT_EQ(lines[10].substr(0, good.size()), good);
    EXPECT_NE(lines[10].find(",gate,"), std::string::npos);
    EXPECT_EQ(lines[10].substr(lines[10].size() - 5), ",PASS");
    EXPECT_EQ(lines[21].substr(lines[21].size() - 5), ",FAIL");
    test::CapturedStream json;
    const char* as_json[] = {"rotabench-report", "--json", wrong.c_str(), good.c_str()};
    EXPECT_EQ(report_main(4, as_json, in.get(), json.get(), err.get()), kExitFail);
    const std::string objects = json.text();
    EXPECT_EQ(std::count(objects.begin(), objects.end(), '\n'), 2);
    EXPECT_NE(objects.find("wrong\\ufffd\\ufffd.log\", \"report_version\""), std::string::npos) << objects;
    // The whole matrix of the default session, the one the simulator printed
    // against the truth from the same printed integrals; without Z's runs, none.
    const auto session = play(std::string(ROTABENCH_SCENARIO_DIR) + "/default.toml");
    ASSERT_TRUE(session.matrix.estimate.fit);
    test::CapturedStream matrix, refused;
    const char* as_matrix[] = {"rotabench-report", "--matrix", good.c_str()};
    EXPECT_EQ(report_main(3, as_matrix, in.get(), matrix.get(), err.get()), kExitPass);
    const std::string diagonal = printf_text("  %.9f \xC2\xB1 ", session.matrix.estimate.fit->k[1][1]);
    EXPECT_NE(matrix.text().find(diagonal), std::string::npos) << matrix.text();
    EXPECT_NE(matrix.text().find("static const double kGyroCorrection[3][3] = {\n    {9.7"), std::string::npos);
    const char* without_z[] = {"rotabench-report", "--matrix", "--drop", "5,6", good.c_str()};
    EXPECT_EQ(report_main(5, without_z, in.get(), refused.get(), err.get()), kExitNotDecided);
    EXPECT_NE(refused.text().find("\nno matrix: no run about Z: the matrix needs runs about all three axes\n"),
              std::string::npos);
    EXPECT_EQ(refused.text().find("kGyroCorrection"), std::string::npos);
    // The same as records: a header, nine elements and six residuals of 15
    // fields each; as JSON, the axis missing.
    test::CapturedStream records, object;
    const char* as_records[] = {"rotabench-report", "--matrix", "--csv", good.c_str()};
    EXPECT_EQ(report_main(4, as_records, in.get(), records.get(), err.get()), kExitPass);
    const std::string rows = records.text();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 1 + 9 + 6);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), ','), 14 * 16) << rows;
    const char* as_object[] = {"rotabench-report", "--matrix", "--json", "--drop", "5,6", good.c_str()};
    EXPECT_EQ(report_main(6, as_object, in.get(), object.get(), err.get()), kExitNotDecided);
    EXPECT_NE(object.text().find("\"matrix\": null, \"refused\": \"no run about Z: the matrix needs runs about all "
                                 "three axes\", \"missing_axis\": \"Z\"}\n"),
              std::string::npos)
        << object.text();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vesko::report

namespace vesko::test {

bool expect_report_reproduces_summary(const std::string& source, const std::string& transcript,
                                      const std::string& diagnostics) {
    using namespace report;
    const std::string& t = transcript;
    const std::string want = summary_block(t);
    const bool has_runs = t.find("  scale = ") != std::string::npos;
    for (const std::string& log : {t, as_tee_keeps_it(t), as_script_keeps_it(t, diagnostics)}) {
        const Reported r = report::report(log, {});
        // The exit code is the verdict the report prints.
        const char* const verdicts[] = {"\ngate: PASS, ", "", "", "\ngate: FAIL, ", "\ngate: NOT DECIDED, "};
        if (has_runs) {
            const bool verdict = r.code == 0 || r.code == 3 || r.code == 4;
            EXPECT_TRUE(verdict) << source << "\n" << r.err;
            if (verdict) {
                EXPECT_NE(r.out.find(verdicts[r.code]), std::string::npos) << source << "\n" << r.out;
            }
        } else {
            EXPECT_EQ(r.code, 1) << source << "\n" << r.err;
        }
        EXPECT_EQ(summary_block(r.out), want) << source;
        if (has_runs) {
            EXPECT_EQ(r.err, "") << source;
        }
    }
    return !want.empty();
}

}  // namespace vesko::test
