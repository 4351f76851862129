#include "simulator/study/study_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/clock.h"
#include "platform/terminal.h"
#include "simulator/output_file.h"
#include "simulator/study/study.h"
#include "simulator/study/study_svg.h"
#include "text/console_text.h"
#include "text/lost_output.h"
#include "text/streams.h"

namespace vesko::simulator {
namespace {

// `word` as a shell reads it back: as it is when it holds nothing the shell
// would take apart, else in single quotes.
std::string shell_word(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./:+=,@%-", c) != nullptr;
    });
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The command that draws the same picture again: every option that changes
// it (the sessions, the first seed, the scale's range), the file, the scenario.
std::string redraw_command(const SimCommandLine& line, std::uint64_t first_seed) {
    std::string command =
        "rotabench-sim --study " + std::to_string(line.study_sessions) + " --seed " + std::to_string(first_seed);
    if (line.svg_range_pct) {
        char range[32];
        const auto end = std::to_chars(range, range + sizeof range, *line.svg_range_pct).ptr;
        command.append(" --svg-range ").append(range, end);
    }
    command.append(" --svg ").append(shell_word(*line.svg_file));
    if (line.scenario_file) command.append(" ").append(shell_word(*line.scenario_file));
    return command;
}

}  // namespace

int run_study_command(const SimCommandLine& line, const Scenario& scenario, const std::string& name, std::FILE* out,
                      std::FILE* err) {
    // The drawing's file is opened first: a name it cannot be written to is a
    // mistake on the command line, found before a single session runs.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> svg(nullptr, &std::fclose);
    if (line.svg_file) {
        auto opened = open_for_writing(*line.svg_file);
        if (const auto* why = std::get_if<std::string>(&opened))
            return print_sim_usage_error({"--svg " + *line.svg_file, *why}, err);
        svg.reset(std::get<std::FILE*>(opened));
    }
    // So is standard output: its first line goes out before the study.
    const std::uint64_t first_seed = line.seed.value_or(1);
    if (line.csv) {
        print_study_csv_header(out);
    } else {
        TextSink(out).print("study: %d sessions of %s, noise seeds %llu to %llu\n", line.study_sessions, name.c_str(),
                            static_cast<unsigned long long>(first_seed),
                            static_cast<unsigned long long>(first_seed +
                                                            static_cast<std::uint64_t>(line.study_sessions) - 1));
    }
    if (!text::output_kept(out, false, "rotabench-sim", "standard output", err)) return text::kExitOutputLost;

    // A session in virtual time keeps one processor busy: by default one
    // session at a time per processor.
    const unsigned cores = platform::processor_count();
    const unsigned jobs = std::min(line.jobs.value_or(cores), static_cast<unsigned>(line.study_sessions));
    platform::Clock& clock = platform::monotonic_clock();
    const std::int64_t start = clock.now_ns();
    // On a terminal, a line that counts the sessions as they end.
    std::function<void(int)> progress;
    if (platform::is_terminal(err)) {
        progress = [&](int done) {
            TextSink(err).print("\rstudy: %d of %d sessions", done, line.study_sessions);
            if (done == line.study_sessions) TextSink(err).write("\n");
            std::fflush(err);
        };
    }
    const auto sessions = run_study(scenario, line.study_sessions, first_seed, jobs, progress);
    const double seconds = static_cast<double>(clock.now_ns() - start) / 1e9;

    const auto axes = summarize_study(sessions);
    const bool any_mean = std::any_of(axes.begin(), axes.end(), [](const AxisStudy& a) { return a.with_summary > 0; });
    int code = 0;
    // Each row keeps its session's exit code, worth having even when no
    // session printed a mean; the table would be all zeros.
    if (line.csv) {
        print_study_csv(out, sessions);
    } else if (any_mean) {
        print_study(out, sessions, seconds, jobs, cores);
    }
    if (!any_mean) {
        TextSink(err).print("rotabench-sim: no session of the %d printed a mean for any axis: nothing to summarise%s\n",
                            line.study_sessions, line.csv ? "" : " (--csv gives each session's exit code)");
        code = kExitStudyWithoutSummary;
    }
    if (svg) {
        const std::string drawing = study_svg(sessions, redraw_command(line, first_seed), line.svg_range_pct);
        std::FILE* file = svg.release();
        text::write_text(file, drawing);
        if (!text::output_kept(file, true, "rotabench-sim", *line.svg_file, err)) code = text::kExitOutputLost;
    }
    return code;
}

}  // namespace vesko::simulator
