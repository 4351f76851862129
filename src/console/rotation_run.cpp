#include "console/rotation_run.h"

#include <cmath>
#include <cstdio>

#include "console/line_input.h"

namespace vesko {

int dominant_axis(const std::array<double, 3>& I) {
    int d = 0;
    if (std::fabs(I[1]) > std::fabs(I[0])) d = 1;
    if (std::fabs(I[2]) > std::fabs(I[d])) d = 2;
    return d;
}

bool evaluate_run(const RunCapture& run, double angle_deg, std::FILE* out, RunResult& result) {
    if (run.gap) {
        std::fprintf(out, "  RUN INVALID: stream gap > 0.5 s during integration (max dt %.3f s)\n",
                     run.max_dt);
        return false;
    }
    const auto& I = run.integral;
    const int d = dominant_axis(I);
    const double D = I[d];
    const auto n = static_cast<unsigned long long>(run.intervals);
    if (run.intervals < kMinRunIntervals || std::fabs(D) < kMinDominantIntegral) {
        std::fprintf(out,
                     "  RUN INVALID: no rotation detected (%llu samples, dominant integral %.1f LSB*s)\n\n",
                     n, D);
        return false;
    }
    const double scale = angle_deg * kPi / 180.0 / std::fabs(D);
    double leakage = 0;
    for (int k = 0; k < 3; ++k) {
        if (k != d) leakage = std::fmax(leakage, std::fabs(I[k] / D));
    }
    std::fprintf(out, "  integral [%.1f %.1f %.1f] LSB*s  (%llu samples, max dt %.4f s)\n", I[0], I[1],
                 I[2], n, run.max_dt);
    std::fprintf(out, "  dominant axis %c (sign %c)  off-axis leakage %.1f%%\n", axis_letter(d),
                 D >= 0 ? '+' : '-', leakage * 100.0);
    std::fprintf(out, "  scale = %.9f rad/s/LSB   vs 1/1024: %+.2f%%   vs 0.001: %+.2f%%\n\n", scale,
                 (scale * 1024.0 - 1.0) * 100.0, (scale / 0.001 - 1.0) * 100.0);
    result = RunResult{d, angle_deg, scale, leakage};
    return true;
}

void run_rotation(CalAccumulator& acc, double angle_deg, const std::array<double, 3>& bias,
                  std::vector<RunResult>& runs, const ConsoleIo& io) {
    std::FILE* out = io.streams.out;
    std::string line;

    // Any line arms the run, and an ended input counts as an empty line.
    std::fprintf(out,
                 "  press Enter to ARM, rotate exactly %g deg (settle ~1 s still before/after), "
                 "Enter again to finish: ",
                 angle_deg);
    std::fflush(out);
    read_line(line, io.read_char);
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        for (int i = 0; i < 3; ++i) {
            acc.bias[i] = bias[i];
            acc.integral[i] = 0;
        }
        acc.have_prev = false;
        acc.interval_count = 0;
        acc.max_dt = 0;
        acc.gap = false;
        acc.phase = Integrate;
    }

    std::fprintf(out, "  ...integrating, finish with Enter: ");
    std::fflush(out);
    read_line(line, io.read_char);
    RunCapture run;
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        acc.phase = Idle;
        for (int i = 0; i < 3; ++i) run.integral[i] = acc.integral[i];
        run.intervals = acc.interval_count;
        run.max_dt = acc.max_dt;
        run.gap = acc.gap;
    }

    RunResult result;
    if (evaluate_run(run, angle_deg, out, result)) runs.push_back(result);
}

}  // namespace vesko
