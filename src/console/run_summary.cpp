#include "console/run_summary.h"

#include <cmath>

namespace vesko {

void print_summary(const std::vector<RunResult>& runs, std::FILE* out) {
    std::fprintf(out, "\n==== summary (%zu runs) ====\n", runs.size());
    for (int a = 0; a < 3; ++a) {
        std::int32_t k = 0;
        double sum = 0, smallest = 1e9, largest = 0;
        for (const RunResult& r : runs) {
            if (r.axis != a) continue;
            sum += r.scale;
            smallest = std::fmin(smallest, r.scale);
            largest = std::fmax(largest, r.scale);
            ++k;
        }
        if (k == 0) {
            std::fprintf(out, "%c: NO RUNS \u2014 gate requires all axes\n", axis_letter(a));
            continue;
        }
        const double mean = sum / k;
        std::fprintf(out, "%c: %d runs  mean %.9f  spread %.2f%%  vs 1/1024 %+.2f%%  vs 0.001 %+.2f%%\n",
                     axis_letter(a), k, mean, (largest - smallest) / mean * 100.0,
                     (mean * 1024.0 - 1.0) * 100.0, (mean / 0.001 - 1.0) * 100.0);
    }
    std::fprintf(out, "gate: per-axis mean must sit within ~2%% of one consistent value on all three axes\n");
}

}  // namespace vesko
