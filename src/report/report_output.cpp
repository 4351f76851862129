#include "report/report_output.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "console/printed_summary.h"
#include "report/record_fields.h"
#include "text/printf_text.h"
#include "text/streams.h"

#ifndef ROTABENCH_VERSION
#define ROTABENCH_VERSION "unknown"
#endif

namespace vesko::report {
namespace {

// The figures printed with the console's own precision.
std::string angle_text(double deg) { return printf_text("%g", deg); }
std::string scale_text(double scale) { return printf_text("%.9f", scale); }
std::string pct2(double pct) { return printf_text("%.2f", pct); }
std::string leakage_text(double fraction) { return printf_text("%.1f", fraction * 100.0); }
std::string json_text_or_null(const std::string& s) { return s.empty() ? "null" : json_string(s); }

// The gate's figure and its limit, with two decimals unless the verdict rests
// on digits they hide (0.7678 against 0.767 would print 0.77 and 0.77 with a
// FAIL): then with as many as it takes for the printed figures to differ, as
// the exact ones do, and to compare as they do.
struct GateTexts {
    std::string figure, limit;
};
GateTexts gate_texts(double figure, double limit) {
    GateTexts t;
    for (int digits = 2; digits <= 17; ++digits) {
        t = {printf_text("%.*f", digits, figure), printf_text("%.*f", digits, limit)};
        const bool printed_pass = std::strtod(t.figure.c_str(), nullptr) <= std::strtod(t.limit.c_str(), nullptr);
        if (printed_pass == (figure <= limit) && (t.figure != t.limit || figure == limit)) break;
    }
    return t;
}

}  // namespace

const char* verdict_name(Verdict v) {
    switch (v) {
        case Verdict::Pass: return "PASS";
        case Verdict::Fail: return "FAIL";
        case Verdict::NotDecided: return "NOT DECIDED";
    }
    return "NOT DECIDED";
}

void write_text(const ReportInput& in, std::FILE* out) {
    const auto& runs = in.log->runs;
    const ReportFigures& f = in.figures;
    TextSink(out).print("module %s: %zu accepted run%s in %s%s%s%s\n",
                        in.log->serial.empty() ? "(no streaming line)" : in.log->serial.c_str(), runs.size(),
                        runs.size() == 1 ? "" : "s", in.log_name.c_str(), in.log->started.empty() ? "" : " (recorded ",
                        in.log->started.c_str(), in.log->started.empty() ? "" : ")");
    TextSink(out).print("  run  axis  angle (deg)  scale (rad/s/LSB)  leakage\n");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const LoggedRun& r = runs[i];
        TextSink(out).print("  %3d  %c%c    %11s  %17s  %6s%%%s", r.number, axis_letter(r.result.axis), r.sign,
                            angle_text(r.result.angle_deg).c_str(), scale_text(r.result.scale).c_str(),
                            leakage_text(r.result.leakage).c_str(), in.dropped[i] ? "  dropped" : "");
        if (!f.suspect[i].empty() && !in.dropped[i])
            TextSink(out).print("  suspect: %s (--drop %d leaves it out)", f.suspect[i].c_str(), r.number);
        TextSink(out).print("\n");
    }
    print_summary(f.kept, out);
    TextSink(out).print("\n");
    for (int a = 0; a < 3; ++a) {
        const AxisStatistics& st = f.statistics[static_cast<std::size_t>(a)];
        if (!st.sem) continue;
        TextSink(out).print("%c: sd %.9f  standard error %.9f  95%% interval %.9f to %.9f", axis_letter(a), *st.sd,
                            *st.sem, *st.ci_low, *st.ci_high);
        if (st.asymmetry_pct) TextSink(out).print("  + minus - turns %+.3f%%", *st.asymmetry_pct);
        TextSink(out).print("\n");
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
        TextSink(out).print("runs per axis: %s: at least two on every axis\n", counts.c_str());
    } else {
        TextSink(out).print("runs per axis: %s: fewer than two on %s, whose spread says nothing yet\n", counts.c_str(),
                            short_axes.c_str());
    }
    const GateTexts gate = f.gate ? gate_texts(f.gate->pct, f.gate_limit_pct) : GateTexts{};
    switch (f.verdict) {
        case Verdict::Pass:
            TextSink(out).print("gate: PASS, largest difference %s%% of the mean (limit %s%%)\n", gate.figure.c_str(),
                                gate.limit.c_str());
            break;
        case Verdict::Fail:
            TextSink(out).print("gate: FAIL, largest difference %s%% of the mean, between %c and %c (limit %s%%)\n",
                                gate.figure.c_str(), axis_letter(f.gate->largest_axis),
                                axis_letter(f.gate->smallest_axis), gate.limit.c_str());
            break;
        case Verdict::NotDecided:
            TextSink(out).print("gate: NOT DECIDED, fewer than two runs on %s (limit %s%%)\n", short_axes.c_str(),
                                pct2(f.gate_limit_pct).c_str());
            break;
    }
}

namespace {

// The CSV's columns, in order.
constexpr const char* kColumns[] = {"log",         "report_version", "started",    "complete",
                                    "record",      "serial",         "run",        "axis",
                                    "sign",        "angle_deg",      "samples",    "max_dt",
                                    "scale",       "leakage_pct",    "dropped",    "suspect",
                                    "runs",        "mean",           "spread_pct", "sd",
                                    "sem",         "ci95_low",       "ci95_high",  "asymmetry_pct",
                                    "vs_1024_pct", "vs_0001_pct",    "gate_pct",   "gate_limit_pct",
                                    "gate"};
constexpr std::size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

// One record: its fields by column name, the others empty.
class CsvRecord {
public:
    CsvRecord& set(std::string_view column, const std::string& value) {
        for (std::size_t i = 0; i < kColumnCount; ++i)
            if (column == kColumns[i]) fields_[i] = csv_field(value);
        return *this;
    }
    void write(std::FILE* out) const {
        // Written by length: a field may hold a NUL.
        for (std::size_t i = 0; i < kColumnCount; ++i) {
            if (i) TextSink(out).write(",");
            TextSink(out).write(fields_[i]);
        }
        TextSink(out).write("\n");
    }

private:
    std::string fields_[kColumnCount];
};

}  // namespace

void write_csv_header(std::FILE* out) {
    for (std::size_t i = 0; i < kColumnCount; ++i) TextSink(out).print("%s%s", i ? "," : "", kColumns[i]);
    TextSink(out).write("\n");
}

void write_csv(const ReportInput& in, std::FILE* out) {
    const ReportFigures& f = in.figures;
    const auto record = [&](const char* kind) {
        CsvRecord r;
        r.set("log", in.log_name).set("report_version", ROTABENCH_VERSION).set("started", in.log->started);
        r.set("complete", in.log->summary ? "1" : "0").set("record", kind).set("serial", in.log->serial);
        return r;
    };
    for (std::size_t i = 0; i < in.log->runs.size(); ++i) {
        const LoggedRun& r = in.log->runs[i];
        record("run")
            .set("run", std::to_string(r.number))
            .set("axis", std::string(1, axis_letter(r.result.axis)))
            .set("sign", std::string(1, r.sign))
            .set("angle_deg", angle_text(r.result.angle_deg))
            .set("samples", std::to_string(r.samples))
            .set("max_dt", printf_text("%.4f", r.max_dt))
            .set("scale", scale_text(r.result.scale))
            .set("leakage_pct", leakage_text(r.result.leakage))
            .set("dropped", in.dropped[i] ? "1" : "0")
            .set("suspect", f.suspect[i])
            .write(out);
    }
    for (int a = 0; a < 3; ++a) {
        const auto& s = f.axes[static_cast<std::size_t>(a)];
        const AxisStatistics& st = f.statistics[static_cast<std::size_t>(a)];
        CsvRecord r = record("axis");
        r.set("axis", std::string(1, axis_letter(a))).set("runs", std::to_string(s ? s->runs : 0));
        if (s) {
            r.set("mean", exact(s->mean)).set("spread_pct", exact(s->spread_pct)).set("sd", exact(st.sd));
            r.set("sem", exact(st.sem)).set("ci95_low", exact(st.ci_low)).set("ci95_high", exact(st.ci_high));
            r.set("asymmetry_pct", exact(st.asymmetry_pct)).set("vs_1024_pct", exact(s->vs_1024_pct));
            r.set("vs_0001_pct", exact(s->vs_0001_pct));
        }
        r.write(out);
    }
    record("gate")
        .set("runs", std::to_string(f.kept.size()))
        .set("gate_pct", f.gate ? exact(f.gate->pct) : std::string())
        .set("gate_limit_pct", exact(f.gate_limit_pct))
        .set("gate", verdict_name(f.verdict))
        .write(out);
}

void write_json(const ReportInput& in, std::FILE* out) {
    const ReportFigures& f = in.figures;
    std::string j = "{\"log\": " + json_string(in.log_name) + ", \"report_version\": \"" ROTABENCH_VERSION "\"" +
                    ", \"started\": " + json_text_or_null(in.log->started) +
                    ", \"complete\": " + (in.log->summary ? "true" : "false") +
                    ", \"serial\": " + json_text_or_null(in.log->serial) + ", \"runs\": [";
    for (std::size_t i = 0; i < in.log->runs.size(); ++i) {
        const LoggedRun& r = in.log->runs[i];
        j += printf_text(
            "%s{\"run\": %d, \"axis\": \"%c\", \"sign\": \"%c\", \"angle_deg\": %s, \"samples\": %llu, "
            "\"max_dt\": %s, \"scale\": %s, \"leakage_pct\": %s, \"dropped\": %s, \"suspect\": %s}",
            i ? ", " : "", r.number, axis_letter(r.result.axis), r.sign, angle_text(r.result.angle_deg).c_str(),
            r.samples, printf_text("%.4f", r.max_dt).c_str(), scale_text(r.result.scale).c_str(),
            leakage_text(r.result.leakage).c_str(), in.dropped[i] ? "true" : "false",
            json_text_or_null(f.suspect[i]).c_str());
    }
    j += printf_text("], \"summary\": {\"runs\": %zu", f.kept.size());
    for (int a = 0; a < 3; ++a) {
        const auto& s = f.axes[static_cast<std::size_t>(a)];
        const AxisStatistics& st = f.statistics[static_cast<std::size_t>(a)];
        if (!s) {
            j += printf_text(", \"%c\": null", axis_letter(a));
            continue;
        }
        j += printf_text(
            ", \"%c\": {\"runs\": %d, \"mean\": %s, \"spread_pct\": %s, \"sd\": %s, \"sem\": %s, "
            "\"ci95_low\": %s, \"ci95_high\": %s, \"asymmetry_pct\": %s, \"vs_1024_pct\": %s, "
            "\"vs_0001_pct\": %s}",
            axis_letter(a), s->runs, json_number(s->mean).c_str(), json_number(s->spread_pct).c_str(),
            json_number(st.sd).c_str(), json_number(st.sem).c_str(), json_number(st.ci_low).c_str(),
            json_number(st.ci_high).c_str(), json_number(st.asymmetry_pct).c_str(), json_number(s->vs_1024_pct).c_str(),
            json_number(s->vs_0001_pct).c_str());
    }
    j += printf_text(
        "}, \"gate\": {\"gate_pct\": %s, \"gate_limit_pct\": %s, \"verdict\": \"%s\", "
        "\"two_runs_every_axis\": %s}}\n",
        f.gate ? json_number(f.gate->pct).c_str() : "null", json_number(f.gate_limit_pct).c_str(),
        verdict_name(f.verdict), f.two_runs_every_axis ? "true" : "false");
    TextSink(out).write(j.c_str());  // up to a NUL, as ever
}

}  // namespace vesko::report
