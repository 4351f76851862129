#include "simulator/session/rehearsal_truth.h"

#include <algorithm>
#include <cmath>

#include "simulator/session/rehearsal_plan.h"
#include "text/printf_text.h"
#include "text/streams.h"

namespace vesko::simulator {
namespace {

constexpr double kPi = 3.14159265358979323846;
// An accepted run within this of the truth is a good one.
constexpr double kGoodError = 0.005;
// A silence of the stream this long at a run's edge or inside it loses part
// of the turn, or of the stillness that the bias was taken for.
constexpr std::int64_t kLostNs = 250'000'000;
// The jig told to turn this much more or less than typed is a wrong angle.
constexpr double kWrongAngleDeg = 0.5;

double seconds(std::int64_t ns) { return static_cast<double>(ns) * 1e-9; }

// The longest silence of the stream from `from` to `to`, and where it sits:
// -1 at the start, 1 at the end, 0 inside.
struct QuietSpell {
    std::int64_t ns = 0;
    int edge = 0;
};

QuietSpell longest_silence(const std::vector<std::int64_t>& sample_ns, std::int64_t from, std::int64_t to) {
    const auto first = std::lower_bound(sample_ns.begin(), sample_ns.end(), from);
    const auto last = std::lower_bound(first, sample_ns.end(), to);
    if (first == last) return {to - from, 0};
    QuietSpell s{*first - from, -1};
    for (auto it = first; it + 1 < last; ++it)
        if (it[1] - it[0] > s.ns) s = {it[1] - it[0], 0};
    if (to - last[-1] > s.ns) s = {to - last[-1], 1};
    return s;
}

}  // namespace

RunVerdict judge_rehearsed_run(const RehearsedRun& run, const ModuleParams& truth,
                               const std::vector<std::int64_t>& sample_ns, std::int64_t previous_turn_end_ns) {
    RunVerdict v;
    v.kind = run.result ? RunVerdict::Kind::Good : RunVerdict::Kind::Refused;
    if (run.result) {
        const auto axis = static_cast<std::size_t>(run.result->axis);
        v.error = run.result->scale / truth.gyro_scale[axis] - 1.0;
    }
    if (!run.finished_ns) {
        v.kind = RunVerdict::Kind::Refused;
        v.cause = "cut short before its finishing Enter (Ctrl-C, or the input ended)";
        return v;
    }
    const std::int64_t finished = *run.finished_ns;
    // The console takes the typed angle for what the jig turned until the Enter.
    const auto explained_by = [&](double turned_deg) {
        if (std::fabs(turned_deg) > 1e-9) v.explained = run.typed_degrees / std::fabs(turned_deg) - 1.0;
    };
    if (!run.turn) {
        v.cause = printf_text("an Enter before the jig turned (%.1f s after the arming Enter; it turns after %.0f s)",
                              seconds(finished - run.armed_ns), seconds(kRehearsalTurnDelayNs));
    } else if (const std::int64_t still = run.turn->start_ns + run.turn->duration_ns; finished < still) {
        const double turned = turn_angle(*run.turn, finished) * 180.0 / kPi;
        explained_by(turned);
        v.cause = printf_text("an Enter during the turn, %.2f s before the jig was still (%.1f of %.1f deg turned)",
                              seconds(still - finished), std::fabs(turned), std::fabs(run.jig_degrees));
    } else if (std::fabs(std::fabs(run.jig_degrees) - run.typed_degrees) > kWrongAngleDeg) {
        explained_by(run.jig_degrees);
        const bool plan_named = run.plan.degrees.has_value();
        v.cause = printf_text(plan_named ? "a wrong angle typed (%g typed, the jig turned %.1f deg)"
                                         : "the jig's angle error (%g typed, the jig turned %.1f deg)",
                              run.typed_degrees, std::fabs(run.jig_degrees));
    } else if (const QuietSpell s = longest_silence(sample_ns, run.armed_ns, finished); s.ns >= kLostNs) {
        static const char* const where[] = {"at an edge, after the arming Enter", "inside the run",
                                            "at an edge, before the finishing Enter"};
        v.cause = printf_text("the stream lost %s (no sample for %.2f s)", where[s.edge + 1], seconds(s.ns));
    } else if (previous_turn_end_ns > run.angle_ns) {
        v.cause = "the jig still turning from the run before during the bias capture";
    } else if (const QuietSpell b = longest_silence(sample_ns, run.angle_ns, run.armed_ns); b.ns >= kLostNs) {
        v.cause = printf_text("the stream lost before the run armed (no sample for %.2f s)", seconds(b.ns));
    }
    if (v.kind == RunVerdict::Kind::Good && (!v.cause.empty() || std::fabs(*v.error) > kGoodError))
        v.kind = RunVerdict::Kind::Suspect;
    if (v.kind != RunVerdict::Kind::Good && v.cause.empty()) v.cause = "no cause the simulator knows of";
    if (v.kind == RunVerdict::Kind::Good) v.cause.clear();
    return v;
}

void print_rehearsal_truth(std::FILE* out, const std::vector<RehearsedRun>& runs, const ModuleParams& truth,
                           const std::vector<std::int64_t>& sample_ns) {
    const TextSink sink(out);
    sink.print("\n==== truth: the %zu run%s armed at the rehearsal ====\n", runs.size(), runs.size() == 1 ? "" : "s");
    std::int64_t previous_end = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const RehearsedRun& run = runs[i];
        const RunVerdict v = judge_rehearsed_run(run, truth, sample_ns, previous_end);
        if (run.turn) previous_end = run.turn->start_ns + run.turn->duration_ns;
        std::string line = printf_text("run %zu: typed %g, jig %s %.1f deg: ", i + 1, run.typed_degrees,
                                       turn_name(run.plan), std::fabs(run.jig_degrees));
        if (v.kind == RunVerdict::Kind::Refused) {
            line += "refused";
        } else {
            line += printf_text("%s, error %+.2f%%", v.kind == RunVerdict::Kind::Good ? "good" : "suspect",
                                *v.error * 100.0);
        }
        if (!v.cause.empty()) line += ": " + v.cause;
        if (v.explained) line += printf_text(", which explains %+.1f%%", *v.explained * 100.0);
        sink.print("%s\n", line.c_str());
    }
    sink.flush();
}

}  // namespace vesko::simulator
