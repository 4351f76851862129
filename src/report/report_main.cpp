#include "report/report_main.h"

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "calibration/run_summary.h"
#include "report/matrix_output.h"
#include "report/matrix_verdict.h"
#include "report/report_output.h"
#include "report/scale_fit.h"
#include "report/session_log.h"
#include "text/streams.h"

#ifndef ROTABENCH_VERSION
#define ROTABENCH_VERSION "unknown"
#endif

namespace vesko::report {
namespace {

// A session's log is a few kilobytes; this is far past any.
constexpr std::size_t kMaxLogBytes = 64u << 20;

enum class Form { Text, Csv, Json };

struct Options {
    Form form = Form::Text;
    std::vector<int> drop;
    double gate_limit_pct = kGateLimitPct;
    std::vector<std::string> logs;
    bool matrix = false;
    bool help = false, version = false;
};

constexpr const char* kHelp =
    "Reads the logs of rotabench sessions (their standard output, as tee, script or rotabench-sim\n"
    "kept it; UTF-8 or UTF-16) and prints each one's runs, numbered as the console accepted them,\n"
    "its summary recomputed, the statistics per axis, and the gate's verdict.\n"
    "  --gate PCT      the gate's limit on the largest difference between axis means, in percent\n"
    "                  of their mean (default 2)\n"
    "  --drop N,...    leave runs out (one log only)\n"
    "  --matrix        the module's whole 3x3 calibration instead, fitted from the kept runs: the\n"
    "                  matrix K (rate = K x (counts - bias)), its standard errors, each run's\n"
    "                  residual, and K as a C array; it needs runs about all three axes, and\n"
    "                  refuses while a suspect run is kept or a run's residual is over 2 deg\n"
    "  --csv           one CSV table for all the logs\n"
    "  --json          one JSON object per log, a line each\n"
    "  --version, --help\n"
    "Exit codes: 0 every gate passed, 1 a log without runs, 2 a bad command line or log,\n"
    "3 a gate failed, 4 not decided (an axis with fewer than two runs), 74 the report could not\n"
    "be written (the reason on standard error). With --matrix: 0 the matrix is printed, 3 refused\n"
    "(a suspect run kept, or a residual over 2 deg), 4 no matrix (an axis without a run, or runs\n"
    "too close to one plane), 1, 2 and 74 as above.\n";

std::optional<std::vector<int>> run_numbers(std::string_view list) {
    std::vector<int> out;
    while (true) {
        const auto comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        int n = 0;
        const auto [stop, ec] = std::from_chars(item.data(), item.data() + item.size(), n);
        if (ec != std::errc{} || stop != item.data() + item.size() || n < 1 || n > 1000000) return std::nullopt;
        out.push_back(static_cast<int>(n));
        if (comma == std::string_view::npos) return out;
        list.remove_prefix(comma + 1);
    }
}

std::optional<double> percent(std::string_view text) {
    // "2%" is 2, as a user writes it.
    if (text.size() > 1 && text.back() == '%') text.remove_suffix(1);
    double v = 0;
    const auto [stop, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || stop != text.data() + text.size() || !(v >= 0) || v > 100) return std::nullopt;
    return v;
}

// An argument that could not be taken, and why.
struct UsageError {
    std::string argument;
    std::string reason;
};

// The options, or the argument that could not be taken.
std::variant<Options, UsageError> parse_args(int argc, const char* const* argv) {
    Options o;
    const char* form = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool takes_value = a == "--drop" || a == "--gate";
        if (takes_value && i + 1 >= argc) return UsageError{a, "needs a value after it"};
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--matrix") {
            o.matrix = true;
        } else if (a == "--csv" || a == "--json") {
            if (form != nullptr) return UsageError{a, std::string("one form only, and ") + form + " is given"};
            form = argv[i];
            o.form = a == "--csv" ? Form::Csv : Form::Json;
        } else if (a == "--drop") {
            const auto numbers = run_numbers(argv[++i]);
            if (!numbers) return UsageError{a + " " + argv[i], "must be run numbers from 1, separated by commas"};
            o.drop.insert(o.drop.end(), numbers->begin(), numbers->end());
        } else if (a == "--gate") {
            const auto limit = percent(argv[++i]);
            if (!limit) return UsageError{a + " " + argv[i], "must be a percentage from 0 to 100"};
            o.gate_limit_pct = *limit;
        } else if (a == "-" || (!a.empty() && a[0] != '-')) {
            o.logs.emplace_back(a);
        } else {
            return UsageError{a, "not an option"};
        }
    }
    if (o.help || o.version) return o;
    if (o.logs.empty()) return UsageError{"(no LOG)", "name one or more logs, or - for standard input"};
    if (!o.drop.empty() && o.logs.size() > 1)
        return UsageError{"--drop", "numbers the runs of one LOG, and " + std::to_string(o.logs.size()) + " are given"};
    return o;
}

std::optional<std::string> read_all(std::FILE* f) {
    std::string text;
    char buf[65536];
    std::size_t n = 0;
    while (text.size() <= kMaxLogBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    if (std::ferror(f) || text.size() > kMaxLogBytes) return std::nullopt;
    return text;
}

// The matrix of the kept runs in the chosen form; its exit code.
int report_matrix(const ReportInput& input, Form form, std::FILE* out, std::FILE* err) {
    for (std::size_t i = 0; i < input.log->runs.size(); ++i) {
        const LoggedRun& r = input.log->runs[i];
        if (input.dropped[i] || r.has_integral) continue;
        TextSink(err).print("rotabench-report: %s: run %d has no integral line before it (lines lost?): no matrix\n",
                            input.log_name.c_str(), r.number);
        return kExitError;
    }
    const MatrixVerdict verdict = judge_matrix(input);
    switch (form) {
        case Form::Text: write_matrix_text(input, verdict, out); break;
        case Form::Csv: write_matrix_csv(input, verdict, out); break;
        case Form::Json: write_matrix_json(input, verdict, out); break;
    }
    if (verdict.passed()) return kExitPass;
    // A spoiled set of runs fails as a gate does; too few of them decide nothing.
    return verdict.suspect.empty() && !verdict.worst ? kExitNotDecided : kExitFail;
}

// Reads one log and writes its report; returns its exit code.
int report_one(const std::string& name, const Options& options, std::FILE* in, std::FILE* out, std::FILE* err) {
    std::optional<std::string> text;
    if (name == "-") {
        text = read_all(in);
    } else if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
        text = read_all(f);
        std::fclose(f);
    }
    if (!text) {
        TextSink(err).print("rotabench-report: %s: cannot read it (or it is over 64 MiB)\n", name.c_str());
        return kExitError;
    }

    SessionLog log = read_session_log(*text);
    if (log.bad_line != 0) {
        TextSink(err).print("rotabench-report: %s:%zu: %s\n", name.c_str(), log.bad_line, log.bad_what.c_str());
        return kExitError;
    }
    if (!log.is_session) {
        TextSink(err).print("rotabench-report: %s: not a rotabench session: none of the console's lines is in it\n",
                            name.c_str());
        return kExitError;
    }
    if (log.second_session_line != 0) {
        TextSink(err).print(
            "rotabench-report: %s: more than one session: a second \"IMU streaming from\" at line %zu; "
            "keep one session per log\n",
            name.c_str(), log.second_session_line);
        return kExitError;
    }
    if (log.runs.empty()) {
        TextSink(err).print("rotabench-report: %s: no accepted runs in this session\n", name.c_str());
        return kExitNoRuns;
    }
    std::vector<bool> dropped(log.runs.size(), false);
    for (int n : options.drop) {
        if (static_cast<std::size_t>(n) > log.runs.size()) {
            TextSink(err).print("rotabench-report: --drop %d: the session has runs 1 to %zu\n", n, log.runs.size());
            return kExitError;
        }
        dropped[static_cast<std::size_t>(n - 1)] = true;
    }
    if (!log.summary) {
        TextSink(err).print(
            "rotabench-report: %s: incomplete: no summary at its end (cut short, or still running); "
            "its runs are reported as they are\n",
            name.c_str());
    } else if (!fit_scales_to_summary(log.runs, *log.summary)) {
        TextSink(err).print(
            "rotabench-report: %s: the console's summary does not follow from the runs in the log "
            "(lines lost or edited?)\n",
            name.c_str());
        return kExitError;
    }

    ReportInput input{name, &log, dropped, work_out(log.runs, dropped, options.gate_limit_pct)};
    if (input.figures.kept.empty()) {
        TextSink(err).print("rotabench-report: %s: no runs left after --drop\n", name.c_str());
        return kExitNoRuns;
    }
    if (options.matrix) return report_matrix(input, options.form, out, err);
    switch (options.form) {
        case Form::Text: write_text(input, out); break;
        case Form::Csv: write_csv(input, out); break;
        case Form::Json: write_json(input, out); break;
    }
    switch (input.figures.verdict) {
        case Verdict::Pass: return kExitPass;
        case Verdict::Fail: return kExitFail;
        case Verdict::NotDecided: return kExitNotDecided;
    }
    return kExitNotDecided;
}

// How bad an exit code is, to report the worst of several logs.
int severity(int code) {
    switch (code) {
        case kExitError: return 4;
        case kExitFail: return 3;
        case kExitNoRuns: return 2;
        case kExitNotDecided: return 1;
        default: return 0;
    }
}

}  // namespace

int report_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
    const auto parsed = parse_args(argc, argv);
    if (const auto* bad = std::get_if<UsageError>(&parsed)) {
        TextSink(err).print("rotabench-report: cannot take %s: %s\n", bad->argument.c_str(), bad->reason.c_str());
        TextSink(err).write(kReportUsage);
        return kExitError;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        TextSink(out).write(kReportUsage);
        TextSink(out).write(kHelp);
        return kExitPass;
    }
    if (options.version) {
        TextSink(out).write("rotabench-report " ROTABENCH_VERSION "\n");
        return kExitPass;
    }
    if (options.form == Form::Csv) options.matrix ? write_matrix_csv_header(out) : write_csv_header(out);
    int worst = kExitPass;
    for (std::size_t i = 0; i < options.logs.size(); ++i) {
        if (i > 0 && options.form == Form::Text) TextSink(out).write("\n");
        const int code = report_one(options.logs[i], options, in, out, err);
        if (severity(code) > severity(worst)) worst = code;
    }
    return worst;
}

}  // namespace vesko::report
