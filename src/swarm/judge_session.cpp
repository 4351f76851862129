#include "swarm/judge_session.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "calibration/cross_axis_fit.h"
#include "calibration/run_result.h"
#include "console/console_texts.h"
#include "console/printed_summary.h"
#include "report/matrix_verdict.h"
#include "report/report_figures.h"
#include "report/report_output.h"
#include "report/session_log.h"
#include "simulator/overloaded.h"
#include "simulator/session/matrix_truth.h"
#include "swarm/run_bound.h"
#include "text/printf_text.h"

namespace vesko::swarm {
namespace {

using simulator::SessionTimeline;

constexpr std::string_view kArm = texts::fixed_text(texts::kArmQuestion);
constexpr std::string_view kIntegrating = texts::fixed_text(texts::kIntegrating);
constexpr std::string_view kScale = texts::fixed_text(texts::kRunScale);
constexpr std::string_view kGap = texts::fixed_text(texts::kRunGap);
constexpr std::string_view kNoRotation = texts::fixed_text(texts::kRunNoRotation);
constexpr std::string_view kStarved = texts::fixed_text(texts::kBiasStarved, 1);
constexpr std::string_view kStreaming = texts::fixed_text(texts::kStreaming);

// A run as the operator's lines frame it: the angle's, the arming and the finishing line.
struct Framed {
    std::size_t angle = 0, arm = 0, finish = 0;
    std::string_view result;  // what the console printed after the finishing line
};

std::string_view between(const std::string& text, std::size_t from, std::size_t to) {
    return std::string_view(text).substr(std::min(from, text.size()), to > from ? to - from : 0);
}

// The text the console printed before line i and after line i-1 (with line i's echo).
std::string_view before_line(const simulator::SessionOutcome& o, std::size_t i) {
    return between(o.transcript, i == 0 ? 0 : o.timeline.lines[i - 1].transcript_end,
                   o.timeline.lines[i].transcript_end);
}

std::string_view after_line(const simulator::SessionOutcome& o, std::size_t i) {
    const auto& lines = o.timeline.lines;
    return between(o.transcript, lines[i].transcript_end,
                   i + 1 < lines.size() ? lines[i + 1].transcript_end : o.transcript.size());
}

bool has(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

std::vector<std::int64_t> samples_in(const std::vector<std::int64_t>& all, std::int64_t from, std::int64_t to) {
    const auto lo = std::upper_bound(all.begin(), all.end(), from);
    const auto hi = std::upper_bound(all.begin(), all.end(), to);
    return {lo, hi};
}

std::string serial_streaming(const std::string& transcript) {
    const std::size_t at = transcript.find(kStreaming);
    if (at == std::string::npos) return "";
    const std::size_t from = at + kStreaming.size();
    return transcript.substr(from, transcript.find('\n', from) - from);
}

const simulator::ModulePlacement* module_named(const simulator::Scenario& s, const std::string& serial) {
    for (const auto& m : s.modules)
        if (m.serial == serial) return &m;
    return nullptr;
}

// Whether a fault makes the module's clock or seq jump: an unplug restarts both.
bool jumps(const simulator::FaultStep& step) {
    using namespace simulator;
    const auto stream = Overloaded{
        [](const Silence&) { return false; },        [](const ShortReports&) { return false; },
        [](const ForeignReports&) { return false; }, [](const RepeatedReports&) { return false; },
        [](const SwappedReports&) { return false; }, [](const SeqRestart&) { return true; },
        [](const TimestampLeap&) { return true; },
    };
    return std::visit(Overloaded{[](const Unplug&) { return true; },
                                 [&](const StreamFault& s) { return std::visit(stream, s); }},
                      step.what);
}

// A fault that makes the module's clock or seq jump, within [from, to].
bool clock_jumps(const SessionTimeline& t, std::int64_t from, std::int64_t to) {
    for (const auto& f : t.faults) {
        std::int64_t until = f.at_ns;
        if (const auto* u = std::get_if<simulator::Unplug>(&f.step.what)) until += std::llround(u->seconds * 1e9);
        if (jumps(f.step) && until >= from && f.at_ns <= to) return true;
    }
    return false;
}

// The runs of the session, by the lines that frame them.
std::vector<Framed> framed_runs(const simulator::SessionOutcome& o) {
    std::vector<Framed> runs;
    const auto& lines = o.timeline.lines;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (!has(before_line(o, i), kIntegrating) || !has(before_line(o, i - 1), kArm)) continue;
        runs.push_back({i - 2, i - 1, i, after_line(o, i)});
    }
    return runs;
}

// What an accepted run's integral is known to on each axis: on its own, its
// scale's run_bound; on the others, off_axis_bound.
struct RunBounds {
    std::array<double, 3> on{};
};

// Judges each run; returns the bounds of each accepted run from the jig's
// module, in order.
std::vector<RunBounds> judge_runs(const simulator::Scenario& s, const simulator::SessionOutcome& o, Judgement& j) {
    std::vector<RunBounds> bounds;
    const std::vector<Framed> framed = framed_runs(o);
    for (std::size_t i = 0; i < o.timeline.lines.size(); ++i)
        if (has(after_line(o, i), kStarved)) ++j.refused[static_cast<std::size_t>(Refusal::StarvedBias)];
    const std::string opened = serial_streaming(o.transcript);
    const simulator::ModulePlacement* module = module_named(s, opened);
    std::size_t accepted = 0;
    const std::vector<std::int64_t> taken =
        module ? sample_times(o.timeline.sample_ns, module->params.sample_rate_hz) : o.timeline.sample_ns;
    for (const Framed& f : framed) {
        const auto& lines = o.timeline.lines;
        simulator::SessionTimeline::Line arm = lines[f.arm], finish = lines[f.finish];
        if (has(f.result, kGap)) {
            ++j.refused[static_cast<std::size_t>(Refusal::Gap)];
            // Refused for a gap: was there one? Every stretch without samples, edges included.
            std::vector<std::int64_t> t = samples_in(o.timeline.sample_ns, arm.at_ns, finish.at_ns);
            t.insert(t.begin(), arm.at_ns);
            t.push_back(finish.at_ns);
            std::int64_t longest = 0;
            for (std::size_t k = 0; k + 1 < t.size(); ++k) longest = std::max(longest, t[k + 1] - t[k]);
            if (longest < 400'000'000 && !clock_jumps(o.timeline, lines[f.angle].at_ns - 6'000'000'000, finish.at_ns)) {
                j.findings.push_back(
                    printf_text("a run refused for a stream gap, though no stretch went unsampled longer than %.3f s",
                                static_cast<double>(longest) * 1e-9));
            }
            continue;
        }
        if (has(f.result, kNoRotation)) {
            ++j.refused[static_cast<std::size_t>(Refusal::NoRotation)];
            continue;
        }
        if (!has(f.result, kScale)) continue;  // broken off
        if (accepted >= o.runs.size()) {
            j.findings.emplace_back("a scale line for which the console returned no run");
            break;
        }
        const RunResult& run = o.runs[accepted++];
        ++j.accepted;
        if (module == nullptr || opened != s.jig_module) {
            j.findings.push_back("run " + std::to_string(accepted) + " accepted from " + opened +
                                 ", which is not on the jig");
            continue;
        }
        RunWindow w;
        w.axis = run.axis;
        w.typed_deg = run.angle_deg;
        w.bias_from_ns = lines[f.angle].at_ns;
        w.arm_ns = arm.at_ns;
        w.finish_ns = finish.at_ns;
        // By when they reached the console, the phase it was in; by when they were taken, the motion they saw.
        const auto taken_between = [&](std::int64_t from, std::int64_t to) {
            const auto& all = o.timeline.sample_ns;
            const auto lo = std::upper_bound(all.begin(), all.end(), from) - all.begin();
            const auto hi = std::upper_bound(all.begin(), all.end(), to) - all.begin();
            return std::vector<std::int64_t>(taken.begin() + lo, taken.begin() + hi);
        };
        w.samples_ns = taken_between(arm.at_ns, finish.at_ns);
        w.bias_samples_ns = taken_between(w.bias_from_ns, w.bias_from_ns + 2'000'000'000);
        const RunBound b = run_bound(w, module->params, o.timeline.turns);
        RunBounds& on = bounds.emplace_back();
        for (int a = 0; a < 3; ++a)
            on.on[static_cast<std::size_t>(a)] =
                a == run.axis ? b.fraction : off_axis_bound(w, b, module->params, o.timeline.turns, a);
        const double truth = module->params.gyro_scale[static_cast<std::size_t>(run.axis)];
        const double error = run.scale / truth - 1.0;
        if (!(std::fabs(error) <= b.fraction)) {
            constexpr double kDeg = 180 / kPi;
            j.findings.push_back(printf_text(
                "run %zu (%c, %g typed) accepted with its scale %+.4f%% off the truth; its conditions explain "
                "%.4f%% (turned %.3f deg, unsampled %.3f deg, noise %.4f deg, %zu samples, %.3f s without one after "
                "the "
                "arming Enter, %.3f s before the finishing one)",
                accepted, axis_letter(run.axis), run.angle_deg, 100 * error, 100 * b.fraction, b.turned_rad * kDeg,
                b.unsampled_rad * kDeg, b.noise_rad * kDeg, w.samples_ns.size(),
                w.samples_ns.empty() ? 0.0 : static_cast<double>(w.samples_ns.front() - w.arm_ns) * 1e-9,
                w.samples_ns.empty() ? 0.0 : static_cast<double>(w.finish_ns - w.samples_ns.back()) * 1e-9));
        }
    }
    if (accepted != o.runs.size())
        j.findings.push_back("the console returned " + std::to_string(o.runs.size()) + " runs and printed " +
                             std::to_string(accepted) + " scale lines");
    return bounds;
}

void judge_report(const simulator::SessionOutcome& o, Judgement& j) {
    const report::SessionLog log = report::read_session_log(o.transcript);
    if (log.bad_line != 0) {
        j.findings.push_back("rotabench-report refuses the session's log at line " + std::to_string(log.bad_line) +
                             ": " + log.bad_what);
        return;
    }
    if (log.runs.size() != o.runs.size()) {
        j.findings.push_back("rotabench-report reads " + std::to_string(log.runs.size()) +
                             " runs, the session returned " + std::to_string(o.runs.size()));
        return;
    }
    for (std::size_t k = 0; k < log.runs.size(); ++k) {
        const RunResult& got = log.runs[k].result;
        const RunResult& want = o.runs[k];
        bool same = got.axis == want.axis && got.angle_deg == want.angle_deg &&
                    printf_text("%.9f", got.scale) == printf_text("%.9f", want.scale);
        for (std::size_t a = 0; a < 3; ++a)
            same = same && printf_text("%.1f", got.integral[a]) == printf_text("%.1f", want.integral[a]);
        if (!same)
            j.findings.push_back("rotabench-report reads run " + std::to_string(k + 1) +
                                 " otherwise than the session returned it");
    }
    // The console sums its runs up whenever it has any, on a quit, an ended input or Ctrl-C.
    if (o.runs.empty() != !log.summary.has_value()) {
        j.findings.emplace_back(o.runs.empty() ? "rotabench-report reads a summary of a session without runs"
                                               : "rotabench-report reads no summary of a session with runs");
        return;
    }
    if (!log.summary) return;
    if (log.summary->runs != o.runs.size())
        j.findings.emplace_back("rotabench-report reads the summary's run count otherwise");
    for (int a = 0; a < 3; ++a)
        if (log.summary->axis_lines[static_cast<std::size_t>(a)] != summary_axis_line(a, summarize_axis(o.runs, a)))
            j.findings.push_back(printf_text("rotabench-report reads the summary's %c line otherwise", axis_letter(a)));
}

// The cross-axis matrix that rotabench-report --matrix gives for the log:
// refused, or each element within what the runs about its column's axis
// explain, and what the other columns' errors bring into it (run_bound.h).
void judge_matrix(const simulator::Scenario& s, const simulator::SessionOutcome& o,
                  const std::vector<RunBounds>& bounds, Judgement& j) {
    const simulator::ModulePlacement* module = module_named(s, s.jig_module);
    if (module == nullptr || o.runs.empty() || bounds.size() != o.runs.size()) return;
    const report::SessionLog log = report::read_session_log(o.transcript);
    if (log.bad_line != 0 || log.runs.size() != o.runs.size()) return;  // judge_report says why
    const std::vector<bool> dropped(log.runs.size(), false);
    const report::ReportInput in{"swarm", &log, dropped, report::work_out(log.runs, dropped, kGateLimitPct)};
    const report::MatrixVerdict verdict = report::judge_matrix(in);
    if (!verdict.passed()) return;
    const Matrix3 truth = simulator::true_matrix(module->params);
    const std::optional<Matrix3> counts_per_rad = inverse(truth);
    if (!counts_per_rad) return;
    std::array<std::array<double, 3>, 3> explained{};  // by row, then column: by the column's own runs
    for (std::size_t k = 0; k < bounds.size(); ++k)
        for (std::size_t r = 0; r < 3; ++r) {
            double& e = explained[r][static_cast<std::size_t>(o.runs[k].axis)];
            e = std::max(e, bounds[k].on[r]);
        }
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c) {
            // A turn about c also moves axis k by this share of its counts on c, so
            // the fit carries that share of column k's error into column c.
            double from_all = explained[r][c];
            for (std::size_t k = 0; k < 3; ++k) {
                const double share = std::fabs((*counts_per_rad)[k][c] / (*counts_per_rad)[c][c]);
                if (k != c && share > 0) from_all += explained[r][k] * share;
            }
            const double bound = kMatrixBoundMargin * from_all;
            const double error = simulator::element_error(verdict.fit.fit->k, truth, r, c);
            if (std::fabs(error) <= bound) continue;
            j.findings.push_back(printf_text(
                "rotabench-report --matrix gives K with element (%c, %c) %+.4f%% off the truth, over the %.4f%% "
                "its runs explain",
                axis_letter(static_cast<int>(r)), axis_letter(static_cast<int>(c)), 100 * error, 100 * bound));
            return;
        }
}

}  // namespace

Judgement judge_session(const simulator::Scenario& scenario, const simulator::SessionOutcome& outcome) {
    Judgement j;
    const std::vector<RunBounds> run_bounds = judge_runs(scenario, outcome, j);
    judge_report(outcome, j);
    judge_matrix(scenario, outcome, run_bounds, j);
    return j;
}

}  // namespace vesko::swarm
