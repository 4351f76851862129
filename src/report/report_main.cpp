#include "report/report_main.h"

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_output.h"
#include "report/scale_fit.h"
#include "report/session_log.h"

namespace vesko::report {
namespace {

// A session's log is a few kilobytes; this is far past any.
constexpr std::size_t kMaxLogBytes = 64u << 20;

enum class Form { Text, Csv, Json };

struct Options {
    Form form = Form::Text;
    std::vector<int> drop;
    std::string log;
};

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

std::optional<Options> parse_args(int argc, const char* const* argv) {
    Options o;
    bool have_log = false, have_form = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--csv" || a == "--json") {
            if (have_form) return std::nullopt;
            have_form = true;
            o.form = a == "--csv" ? Form::Csv : Form::Json;
        } else if (a == "--drop" && i + 1 < argc) {
            const auto numbers = run_numbers(argv[++i]);
            if (!numbers) return std::nullopt;
            o.drop.insert(o.drop.end(), numbers->begin(), numbers->end());
        } else if ((a == "-" || a.empty() || a[0] != '-') && !have_log) {
            have_log = true;
            o.log = std::string(a);
        } else {
            return std::nullopt;
        }
    }
    if (!have_log || o.log.empty()) return std::nullopt;
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

}  // namespace

int report_main(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
    const auto options = parse_args(argc, argv);
    if (!options) {
        std::fputs(kReportUsage, err);
        return 2;
    }
    const std::string& name = options->log;
    std::optional<std::string> text;
    if (name == "-") {
        text = read_all(in);
    } else if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
        text = read_all(f);
        std::fclose(f);
    }
    if (!text) {
        std::fprintf(err, "rotabench-report: %s: cannot read it (or it is over 64 MiB)\n", name.c_str());
        return 2;
    }

    SessionLog log = read_session_log(*text);
    if (!log.is_session) {
        std::fprintf(err, "rotabench-report: %s: not a rotabench session: none of the console's lines is in it\n",
                     name.c_str());
        return 2;
    }
    if (log.second_session_line != 0) {
        std::fprintf(err,
                     "rotabench-report: %s: more than one session: a second \"IMU streaming from\" at line %zu; "
                     "keep one session per log\n",
                     name.c_str(), log.second_session_line);
        return 2;
    }
    if (log.runs.empty()) {
        std::fprintf(err, "rotabench-report: %s: no accepted runs in this session\n", name.c_str());
        return 1;
    }
    std::vector<bool> dropped(log.runs.size(), false);
    for (int n : options->drop) {
        if (static_cast<std::size_t>(n) > log.runs.size()) {
            std::fprintf(err, "rotabench-report: --drop %d: the session has runs 1 to %zu\n", n, log.runs.size());
            return 2;
        }
        dropped[static_cast<std::size_t>(n - 1)] = true;
    }
    if (log.summary && !fit_scales_to_summary(log.runs, *log.summary)) {
        std::fprintf(err,
                     "rotabench-report: note: the console's summary in %s does not follow from the runs found in it "
                     "(lines lost?); the figures here are from the runs as printed\n",
                     name.c_str());
    }

    ReportInput input{name, &log, dropped, work_out(log.runs, dropped)};
    if (input.figures.kept.empty()) {
        std::fprintf(err, "rotabench-report: %s: no runs left after --drop\n", name.c_str());
        return 1;
    }
    switch (options->form) {
        case Form::Text: write_text(input, out); break;
        case Form::Csv: write_csv(input, out); break;
        case Form::Json: write_json(input, out); break;
    }
    return 0;
}

}  // namespace vesko::report
