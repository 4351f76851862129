#include "report/report_output.h"

#include <cmath>
#include <cstddef>

#include "platform/printf_text.h"
#include "console/run_summary.h"

namespace vesko::report {
namespace {

// The figures printed with the console's own precision.
std::string angle_text(double deg) { return printf_text("%g", deg); }
std::string scale_text(double scale) { return printf_text("%.9f", scale); }
std::string pct2(double pct) { return printf_text("%.2f", pct); }
std::string leakage_text(double fraction) { return printf_text("%.1f", fraction * 100.0); }

// JSON has no NaN: a log of scales of 0 would make one.
std::string json_number(double v, const std::string& text) { return std::isfinite(v) ? text : "null"; }

std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string json_string(const std::string& s) {
    std::string q = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c < 0x20) {
            q += printf_text("\\u%04x", c);
        } else {
            q += static_cast<char>(c);
        }
    }
    return q + "\"";
}

}  // namespace

void write_text(const ReportInput& in, std::FILE* out) {
    const auto& runs = in.log->runs;
    std::fprintf(out, "module %s: %zu accepted run%s in %s\n",
                 in.log->serial.empty() ? "(no streaming line)" : in.log->serial.c_str(), runs.size(),
                 runs.size() == 1 ? "" : "s", in.log_name.c_str());
    std::fprintf(out, "  run  axis  angle (deg)  scale (rad/s/LSB)  leakage\n");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const LoggedRun& r = runs[i];
        std::fprintf(out, "  %3d  %c%c    %11s  %17s  %6s%%%s\n", r.number, axis_letter(r.result.axis), r.sign,
                     angle_text(r.result.angle_deg).c_str(), scale_text(r.result.scale).c_str(),
                     leakage_text(r.result.leakage).c_str(), in.dropped[i] ? "  dropped" : "");
    }
    print_summary(in.figures.kept, out);
    const ReportFigures& f = in.figures;
    std::fprintf(out, "\n");
    if (f.gate) {
        std::fprintf(out,
                     "gate figure: %s%% (largest per-axis mean %c minus smallest %c, in percent of the three "
                     "means' average)\n",
                     pct2(f.gate->pct).c_str(), axis_letter(f.gate->largest_axis), axis_letter(f.gate->smallest_axis));
    } else {
        std::fprintf(out, "gate figure: none: an axis has no runs\n");
    }
    std::string counts;
    std::string short_axes;
    for (int a = 0; a < 3; ++a) {
        const auto& s = f.axes[static_cast<std::size_t>(a)];
        const int n = s ? s->runs : 0;
        counts += printf_text("%s%c %d", a ? ", " : "", axis_letter(a), n);
        if (n < 2) short_axes += printf_text("%s%c", short_axes.empty() ? "" : ", ", axis_letter(a));
    }
    if (f.two_runs_every_axis) {
        std::fprintf(out, "runs per axis: %s: at least two on every axis\n", counts.c_str());
    } else {
        std::fprintf(out, "runs per axis: %s: fewer than two on %s, whose spread says nothing yet\n",
                     counts.c_str(), short_axes.c_str());
    }
}

void write_csv(const ReportInput& in, std::FILE* out) {
    const std::string serial = csv_field(in.log->serial);
    std::fprintf(out, "record,serial,run,axis,sign,angle_deg,scale,leakage_pct,dropped,runs,mean,spread_pct,"
                      "vs_1024_pct,vs_0001_pct,gate_pct,two_runs_every_axis\n");
    for (std::size_t i = 0; i < in.log->runs.size(); ++i) {
        const LoggedRun& r = in.log->runs[i];
        std::fprintf(out, "run,%s,%d,%c,%c,%s,%s,%s,%d,,,,,,,\n", serial.c_str(), r.number, axis_letter(r.result.axis),
                     r.sign, angle_text(r.result.angle_deg).c_str(), scale_text(r.result.scale).c_str(),
                     leakage_text(r.result.leakage).c_str(), in.dropped[i] ? 1 : 0);
    }
    const ReportFigures& f = in.figures;
    for (int a = 0; a < 3; ++a) {
        const auto& s = f.axes[static_cast<std::size_t>(a)];
        if (s) {
            std::fprintf(out, "axis,%s,,%c,,,,,,%d,%s,%s,%s,%s,,\n", serial.c_str(), axis_letter(a), s->runs,
                         scale_text(s->mean).c_str(), pct2(s->spread_pct).c_str(), pct2(s->vs_1024_pct).c_str(),
                         pct2(s->vs_0001_pct).c_str());
        } else {
            std::fprintf(out, "axis,%s,,%c,,,,,,0,,,,,,\n", serial.c_str(), axis_letter(a));
        }
    }
    std::fprintf(out, "gate,%s,,,,,,,,%zu,,,,,%s,%d\n", serial.c_str(), f.kept.size(),
                 f.gate ? pct2(f.gate->pct).c_str() : "", f.two_runs_every_axis ? 1 : 0);
}

void write_json(const ReportInput& in, std::FILE* out) {
    const ReportFigures& f = in.figures;
    std::fprintf(out, "{\n  \"log\": %s,\n  \"serial\": %s,\n  \"runs\": [", json_string(in.log_name).c_str(),
                 in.log->serial.empty() ? "null" : json_string(in.log->serial).c_str());
    for (std::size_t i = 0; i < in.log->runs.size(); ++i) {
        const LoggedRun& r = in.log->runs[i];
        std::fprintf(out,
                     "%s\n    {\"run\": %d, \"axis\": \"%c\", \"sign\": \"%c\", \"angle_deg\": %s, \"scale\": %s, "
                     "\"leakage_pct\": %s, \"dropped\": %s}",
                     i ? "," : "", r.number, axis_letter(r.result.axis), r.sign, angle_text(r.result.angle_deg).c_str(),
                     scale_text(r.result.scale).c_str(), leakage_text(r.result.leakage).c_str(),
                     in.dropped[i] ? "true" : "false");
    }
    std::fprintf(out, "\n  ],\n  \"summary\": {\n    \"runs\": %zu", f.kept.size());
    for (int a = 0; a < 3; ++a) {
        const auto& s = f.axes[static_cast<std::size_t>(a)];
        if (!s) {
            std::fprintf(out, ",\n    \"%c\": null", axis_letter(a));
            continue;
        }
        std::fprintf(out,
                     ",\n    \"%c\": {\"runs\": %d, \"mean\": %s, \"spread_pct\": %s, \"vs_1024_pct\": %s, "
                     "\"vs_0001_pct\": %s}",
                     axis_letter(a), s->runs, json_number(s->mean, scale_text(s->mean)).c_str(),
                     json_number(s->spread_pct, pct2(s->spread_pct)).c_str(),
                     json_number(s->vs_1024_pct, pct2(s->vs_1024_pct)).c_str(),
                     json_number(s->vs_0001_pct, pct2(s->vs_0001_pct)).c_str());
    }
    std::fprintf(out, "\n  },\n  \"gate\": {\"largest_difference_pct\": %s, \"two_runs_every_axis\": %s}\n}\n",
                 f.gate ? json_number(f.gate->pct, pct2(f.gate->pct)).c_str() : "null", f.two_runs_every_axis ? "true" : "false");
}

}  // namespace vesko::report
