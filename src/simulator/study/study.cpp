#include "simulator/study/study.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "calibration/run_summary.h"
#include "platform/clock.h"
#include "simulator/session/session.h"
#include "simulator/study/matrix_study.h"
#include "text/streams.h"

namespace vesko::simulator {

Scenario with_seed(Scenario scenario, std::uint64_t seed) {
    for (ModulePlacement& m : scenario.modules) m.params.noise_seed = seed;
    scenario.errors.seed = seed;
    return scenario;
}

std::vector<StudySession> run_study(const Scenario& scenario, int sessions, std::uint64_t first_seed, unsigned threads,
                                    const std::function<void(int done)>& progress) {
    std::vector<StudySession> results(static_cast<std::size_t>(std::max(sessions, 0)));
    if (threads == 0) threads = platform::processor_count();
    threads = std::min(threads, static_cast<unsigned>(std::max(sessions, 1)));
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::mutex progress_mutex;
    const auto work = [&] {
        for (int i = next++; i < sessions; i = next++) {
            StudySession& r = results[static_cast<std::size_t>(i)];
            r.index = i + 1;
            r.seed = first_seed + static_cast<std::uint64_t>(i);
            // The console's words are kept in memory and dropped; what
            // counts is what it measured, held against the truth.
            SessionOptions options;
            options.time = platform::sim::TimeMode::Virtual;
            options.out = nullptr;
            options.err = nullptr;
            options.print_truth = false;
            const SessionOutcome outcome = run_session(with_seed(scenario, r.seed), options);
            r.exit_code = outcome.exit_code;
            r.truth = outcome.truth;
            r.matrix = outcome.matrix;
            const auto gate = gate_figure(summarize_axes(outcome.runs));
            r.gate_passed = gate && gate->passes();
            const int finished = ++done;
            if (progress) {
                std::lock_guard<std::mutex> lock(progress_mutex);
                progress(finished);
            }
        }
    };
    platform::run_on_threads(threads, [&](unsigned) { work(); });
    return results;
}

ErrorStatistics error_statistics(const std::vector<double>& errors) {
    ErrorStatistics out;
    if (errors.empty()) return out;
    const auto n = static_cast<double>(errors.size());
    double sum = 0;
    for (double e : errors) sum += e;
    out.mean = sum / n;
    double squares = 0;
    for (double e : errors) squares += (e - out.mean) * (e - out.mean);
    out.sd = errors.size() > 1 ? std::sqrt(squares / (n - 1)) : 0.0;
    std::vector<double> magnitudes;
    for (double e : errors) magnitudes.push_back(std::fabs(e));
    std::sort(magnitudes.begin(), magnitudes.end());
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * n));
    out.p95_abs = magnitudes[std::max<std::size_t>(rank, 1) - 1];
    out.max_abs = magnitudes.back();
    return out;
}

std::array<AxisStudy, 3> summarize_study(const std::vector<StudySession>& sessions) {
    std::array<AxisStudy, 3> axes{};
    for (std::size_t a = 0; a < 3; ++a) {
        std::vector<double> errors;
        for (const StudySession& s : sessions) {
            if (s.truth[a].runs > 0) {
                errors.push_back(s.truth[a].error);
            }
        }
        AxisStudy& out = axes[a];
        out.with_summary = static_cast<int>(errors.size());
        out.without_summary = static_cast<int>(sessions.size()) - out.with_summary;
        if (errors.empty()) continue;
        const ErrorStatistics st = error_statistics(errors);
        out.mean_error = st.mean;
        out.sd_error = st.sd;
        out.p95_abs_error = st.p95_abs;
        out.max_abs_error = st.max_abs;
    }
    return axes;
}

void print_study(std::FILE* out, const std::vector<StudySession>& sessions, double seconds, unsigned jobs,
                 unsigned cores) {
    const auto axes = summarize_study(sessions);
    TextSink(out).print("axis  sessions  mean error   sd error   p95 |error|  max |error|  without summary\n");
    for (std::size_t a = 0; a < 3; ++a) {
        const AxisStudy& s = axes[a];
        TextSink(out).print("%c     %8d  %+9.4f%%  %8.4f%%  %10.4f%%  %10.4f%%  %15d\n",
                            axis_letter(static_cast<int>(a)), s.with_summary, 100 * s.mean_error, 100 * s.sd_error,
                            100 * s.p95_abs_error, 100 * s.max_abs_error, s.without_summary);
    }
    const auto passed =
        std::count_if(sessions.begin(), sessions.end(), [](const StudySession& s) { return s.gate_passed; });
    TextSink(out).print("gate (three means within 2%%): %ld of %zu sessions (%.1f%%)\n", static_cast<long>(passed),
                        sessions.size(),
                        sessions.empty() ? 0.0
                                         : 100.0 * static_cast<double>(passed) / static_cast<double>(sessions.size()));
    print_matrix_study(out, sessions);
    // A session keeps one processor busy, so the processors at work are the
    // fewer of the two.
    const unsigned busy = std::min(jobs, cores);
    const double per_core = seconds > 0 && busy > 0 ? static_cast<double>(sessions.size()) / seconds / busy : 0.0;
    TextSink(out)
        .print("%zu sessions in %.1f s, %u at a time on %u processor(s): %.1f sessions per second per processor\n",
               sessions.size(), seconds, jobs, cores, per_core);
}

void print_study_csv_header(std::FILE* out) {
    TextSink(out).write(
        "session,seed,exit,gate,x_runs,x_mean,x_error_pct,y_runs,y_mean,y_error_pct,z_runs,z_mean,"
        "z_error_pct\n");
}

void print_study_csv(std::FILE* out, const std::vector<StudySession>& sessions) {
    for (const StudySession& s : sessions) {
        TextSink(out).print("%d,%llu,%d,%d", s.index, static_cast<unsigned long long>(s.seed), s.exit_code,
                            s.gate_passed ? 1 : 0);
        for (const AxisTruth& a : s.truth) {
            if (a.runs > 0) {
                TextSink(out).print(",%d,%.9f,%.6e", a.runs, a.estimated, 100 * a.error);
            } else {
                TextSink(out).print(",0,,");
            }
        }
        TextSink(out).write("\n");
    }
}

}  // namespace vesko::simulator
