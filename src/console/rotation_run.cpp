#include "console/rotation_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "console/console_input.h"
#include "console/console_texts.h"

namespace vesko {

int dominant_axis(const std::array<double, 3>& I) {
    int d = 0;
    if (std::fabs(I[1]) > std::fabs(I[0])) d = 1;
    if (std::fabs(I[2]) > std::fabs(I[d])) d = 2;
    return d;
}

namespace {

// With the lock held, at the finishing Enter: how much host time of the run
// went without samples beyond what the intervals between samples show.
double unsampled_host_seconds(const CalAccumulator& acc, std::int64_t finished_ns) {
    const auto seconds = [](std::int64_t ns) { return static_cast<double>(ns) / 1e9; };
    if (!acc.have_prev) return seconds(finished_ns - acc.armed_ns);
    const double edges = seconds(std::max(acc.first_sample_ns - acc.armed_ns, finished_ns - acc.last_sample_ns));
    const double unaccounted = seconds(acc.last_sample_ns - acc.first_sample_ns) - acc.device_seconds;
    return std::fmax(edges, unaccounted);
}

}  // namespace

bool evaluate_run(const RunCapture& run, double angle_deg, TextSink out, RunResult& result) {
    if (run.gap) {
        out.print(texts::kRunGap, run.max_dt);
        return false;
    }
    if (run.unsampled_s > kGapLimitSeconds) {
        out.print(texts::kRunGap, std::fmax(run.max_dt, run.unsampled_s));
        return false;
    }
    const auto& I = run.integral;
    const int d = dominant_axis(I);
    const double D = I[d];
    const auto n = static_cast<unsigned long long>(run.intervals);
    if (run.intervals < kMinRunIntervals || std::fabs(D) < kMinDominantIntegral) {
        out.print(texts::kRunNoRotation, n, D);
        return false;
    }
    const double scale = angle_deg * kPi / 180.0 / std::fabs(D);
    double leakage = 0;
    for (int k = 0; k < 3; ++k) {
        if (k != d) leakage = std::fmax(leakage, std::fabs(I[k] / D));
    }
    out.print(texts::kRunIntegral, I[0], I[1], I[2], n, run.max_dt);
    out.print(texts::kRunDominant, axis_letter(d), D >= 0 ? '+' : '-', leakage * 100.0);
    out.print(texts::kRunScale, scale, vs_1024_pct(scale), vs_0001_pct(scale));
    result = RunResult{d, angle_deg, scale, leakage, I};
    return true;
}

void run_rotation(CalAccumulator& acc, double angle_deg, const std::array<double, 3>& bias,
                  std::vector<RunResult>& runs, const ConsoleIo& io) {
    const TextSink out = io.streams.out;
    std::string line;

    // Any line arms the run, and an ended input counts as an empty line.
    out.print(texts::kArmQuestion, angle_deg);
    out.flush();
    read_line(line, io.read_char);
    if (interrupted(io)) return;
    const std::int64_t armed_ns = host_now_ns(io);
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        acc.armed_ns = armed_ns;
        for (int i = 0; i < 3; ++i) {
            acc.bias[i] = bias[i];
            acc.integral[i] = 0;
        }
        acc.have_prev = false;
        acc.interval_count = 0;
        acc.max_dt = 0;
        acc.gap = false;
        acc.device_seconds = 0;
        acc.phase = Integrate;
    }

    out.write(texts::kIntegrating);
    out.flush();
    read_line(line, io.read_char);
    const std::int64_t finished_ns = host_now_ns(io);
    RunCapture run;
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        acc.phase = Idle;
        for (int i = 0; i < 3; ++i) run.integral[i] = acc.integral[i];
        run.intervals = acc.interval_count;
        run.max_dt = acc.max_dt;
        run.gap = acc.gap;
        run.unsampled_s = unsampled_host_seconds(acc, finished_ns);
    }
    if (interrupted(io)) return;  // a run broken off is not measured

    RunResult result;
    if (evaluate_run(run, angle_deg, out, result)) runs.push_back(result);
}

}  // namespace vesko
