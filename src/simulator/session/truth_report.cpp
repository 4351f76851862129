#include "simulator/session/truth_report.h"

#include <cstdio>

#include "calibration/run_summary.h"
#include "text/streams.h"

namespace vesko::simulator {

std::array<AxisTruth, 3> compare_with_truth(const ModuleParams& truth, const std::vector<RunResult>& runs) {
    std::array<AxisTruth, 3> axes{};
    for (int a = 0; a < 3; ++a) {
        AxisTruth& t = axes[static_cast<std::size_t>(a)];
        t.true_scale = truth.gyro_scale[static_cast<std::size_t>(a)];
        const auto summary = summarize_axis(runs, a);
        if (!summary) continue;
        t.runs = summary->runs;
        t.estimated = summary->mean;
        t.error = t.estimated / t.true_scale - 1.0;
    }
    return axes;
}

void print_truth(std::FILE* out, const std::string& jig_serial, const std::array<AxisTruth, 3>& axes) {
    TextSink(out).print("\n==== truth: simulated module %s on the jig ====\n", jig_serial.c_str());
    for (int a = 0; a < 3; ++a) {
        const AxisTruth& t = axes[a];
        const char letter = axis_letter(a);
        if (t.runs == 0) {
            TextSink(out).print("%c: true %.9f  estimated -  (no runs)\n", letter, t.true_scale);
        } else {
            TextSink(out).print("%c: true %.9f  estimated %.9f (%d run%s)  error %+.4f%%\n", letter, t.true_scale,
                                t.estimated, t.runs, t.runs == 1 ? "" : "s", t.error * 100.0);
        }
    }
    TextSink(out).flush();
}

}  // namespace vesko::simulator
