#include "simulator/truth_report.h"

#include <cstdio>
#include <cstdlib>

namespace vesko::simulator {
namespace {

constexpr std::string_view kDominant = "  dominant axis ";
constexpr std::string_view kScale = "  scale = ";

int axis_index(char letter) {
    switch (letter) {
    case 'X': return 0;
    case 'Y': return 1;
    case 'Z': return 2;
    default: return -1;
    }
}

}  // namespace

std::vector<PrintedRun> printed_runs(std::string_view transcript) {
    std::vector<PrintedRun> runs;
    int axis = -1;
    std::size_t start = 0;
    while (start < transcript.size()) {
        std::size_t end = transcript.find('\n', start);
        if (end == std::string_view::npos) end = transcript.size();
        const std::string_view line = transcript.substr(start, end - start);
        start = end + 1;
        if (line.starts_with(kDominant) && line.size() > kDominant.size()) {
            axis = axis_index(line[kDominant.size()]);
        } else if (line.starts_with(kScale) && axis >= 0) {
            const std::string number(line.substr(kScale.size()));
            char* stop = nullptr;
            const double scale = std::strtod(number.c_str(), &stop);
            if (stop != number.c_str()) runs.push_back(PrintedRun{axis, scale});
            axis = -1;
        }
    }
    return runs;
}

std::array<AxisTruth, 3> compare_with_truth(const ModuleParams& truth, const std::vector<PrintedRun>& runs) {
    std::array<AxisTruth, 3> axes{};
    for (int a = 0; a < 3; ++a) axes[a].true_scale = truth.gyro_scale[a];
    for (const PrintedRun& r : runs) {
        axes[r.axis].runs += 1;
        axes[r.axis].estimated += r.scale;
    }
    for (AxisTruth& a : axes) {
        if (a.runs == 0) continue;
        a.estimated /= a.runs;
        a.error = a.estimated / a.true_scale - 1.0;
    }
    return axes;
}

void use_summary_means(std::string_view transcript, std::array<AxisTruth, 3>& axes) {
    const std::size_t summary = transcript.rfind("==== summary (");
    if (summary == std::string_view::npos) return;
    std::size_t start = summary;
    while (start < transcript.size()) {
        std::size_t end = transcript.find('\n', start);
        if (end == std::string_view::npos) end = transcript.size();
        const std::string line(transcript.substr(start, end - start));
        start = end + 1;
        char letter = 0;
        int runs = 0;
        double mean = 0;
        if (std::sscanf(line.c_str(), "%c: %d runs  mean %lf", &letter, &runs, &mean) != 3) continue;
        const int a = axis_index(letter);
        if (a < 0 || axes[a].runs != runs || runs == 0) continue;
        axes[a].estimated = mean;
        axes[a].error = mean / axes[a].true_scale - 1.0;
    }
}

void print_truth(std::FILE* out, const std::string& jig_serial, const std::array<AxisTruth, 3>& axes) {
    std::fprintf(out, "\n==== truth: simulated module %s on the jig ====\n", jig_serial.c_str());
    for (int a = 0; a < 3; ++a) {
        const AxisTruth& t = axes[a];
        const char letter = "XYZ"[a];
        if (t.runs == 0) {
            std::fprintf(out, "%c: true %.9f  estimated -  (no runs)\n", letter, t.true_scale);
        } else {
            std::fprintf(out, "%c: true %.9f  estimated %.9f (%d run%s)  error %+.4f%%\n", letter, t.true_scale,
                         t.estimated, t.runs, t.runs == 1 ? "" : "s", t.error * 100.0);
        }
    }
    std::fflush(out);
}

}  // namespace vesko::simulator
