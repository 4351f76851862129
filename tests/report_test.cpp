// rotabench-report on the sessions the example scenarios really produce: it
// finds their runs and recomputes the console's own summary byte for byte,
// from the log as tee, script or rotabench-sim keeps it (every example is
// checked by the test that plays them all, with expect_report_reproduces_summary).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "report/report_main.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/session.h"
#include "support/captured_stream.h"
#include "support/report_check.h"

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
    return from == std::string::npos || gate == std::string::npos ? "" : text.substr(from, text.find('\n', gate) - from);
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
}

TEST(Report, RefusesWhatIsNotOneSession) {
    const std::string streaming = "IMU streaming from KVR-1\n\n";
    const std::string run =
        "  dominant axis Z (sign -)  off-axis leakage 0.5%\n  scale = 0.000973977 rad/s/LSB   vs 1/1024: -0.26%\n";
    struct Case {
        std::string log;
        std::vector<const char*> args;
        int code;
        const char* err;
    };
    for (const Case& c : std::vector<Case>{
             {"hello\n", {}, 2, "rotabench-report: -: not a rotabench session: none of the console's lines is in it\n"},
             {streaming + run + streaming, {}, 2,
              "rotabench-report: -: more than one session: a second \"IMU streaming from\" at line 5; keep one "
              "session per log\n"},
             {streaming, {}, 1, "rotabench-report: -: no accepted runs in this session\n"},
             {streaming + run, {"--drop", "2"}, 2, "rotabench-report: --drop 2: the session has runs 1 to 1\n"},
             {streaming + run, {"--drop", "1"}, 1, "rotabench-report: -: no runs left after --drop\n"},
             {streaming + run, {"--drop", "1,x"}, 2, kReportUsage},
             {streaming + run, {"--csv", "--json"}, 2, kReportUsage},
         }) {
        const Reported r = report(c.log, c.args);
        EXPECT_EQ(r.code, c.code) << c.log;
        EXPECT_EQ(r.err, c.err);
    }
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
        EXPECT_EQ(r.code, has_runs ? 0 : 1) << source << "\n" << r.err;
        EXPECT_EQ(summary_block(r.out), want) << source;
        if (has_runs) {
            EXPECT_EQ(r.err, "") << source;
        }
    }
    return !want.empty();
}

}  // namespace vesko::test
