#include "report/matrix_output.h"

#include <cmath>
#include <string>
#include <vector>

#include "calibration/run_result.h"
#include "report/record_fields.h"
#include "text/printf_text.h"
#include "text/streams.h"

#ifndef ROTABENCH_VERSION
#define ROTABENCH_VERSION "unknown"
#endif

namespace vesko::report {
namespace {

constexpr const char* kCannotTellApart =
    "note: a jig turned about its own axes cannot tell a module mounted tilted on it from an axis that\n"
    "      feels its neighbours: both give the same off-diagonal terms, and K corrects for the two\n"
    "      together, so it holds for the module mounted as it sat on the jig.\n";

// The runs of the log that the fit used, in the order it took them.
std::vector<const LoggedRun*> kept_runs(const ReportInput& in) {
    std::vector<const LoggedRun*> kept;
    for (std::size_t i = 0; i < in.log->runs.size(); ++i)
        if (!in.dropped[i]) kept.push_back(&in.log->runs[i]);
    return kept;
}

// ", run 2 left out by --drop 2", ", runs 5 and 6 left out by --drop 5,6", or "" when none was.
std::string dropped_note(const ReportInput& in) {
    std::string words, list;
    std::size_t count = 0, left = 0;
    for (bool d : in.dropped) left += d;
    for (std::size_t i = 0; i < in.log->runs.size(); ++i) {
        if (!in.dropped[i]) continue;
        const std::string n = std::to_string(in.log->runs[i].number);
        words += count == 0 ? n : (count + 1 == left ? " and " : ", ") + n;
        list += (count++ ? "," : "") + n;
    }
    if (count == 0) return "";
    return printf_text(", run%s %s left out by --drop %s", count == 1 ? "" : "s", words.c_str(), list.c_str());
}

// Off-diagonal terms in percent of their row's diagonal, and their standard
// errors: the element's over the diagonal, whose own error (thousandths of a
// percent of it) changes the share's by far less.
double share_pct(const Matrix3& k, std::size_t i, std::size_t j) {
    return 100.0 * cross_share(k, static_cast<int>(i), static_cast<int>(j));
}
double share_se_pct(const CrossAxisFit& f, std::size_t i, std::size_t j) {
    return 100.0 * (*f.standard_error)[i][j] / f.k[i][i];
}

void write_c_array(const ReportInput& in, const CrossAxisFit& f, std::FILE* out) {
    TextSink(out).print("/* gyroscope correction of %s from %zu runs (rotabench-report %s).\n",
                        in.log->serial.empty() ? "the module" : in.log->serial.c_str(), f.residual_deg.size(),
                        ROTABENCH_VERSION);
    TextSink(out).print(
        "   rate[i] = sum over j of kGyroCorrection[i][j] * (counts[j] - bias[j]), rad/s;"
        " bias: the counts at rest. */\n");
    TextSink(out).print("static const double kGyroCorrection[3][3] = {\n");
    for (std::size_t i = 0; i < 3; ++i)
        TextSink(out).print("    {%.9e, %.9e, %.9e},\n", f.k[i][0], f.k[i][1], f.k[i][2]);
    TextSink(out).print("};\n");
}

void write_residuals(const std::vector<const LoggedRun*>& kept, const CrossAxisFit& f, std::FILE* out) {
    TextSink(out).print("residual per run, K x integral - turn (deg):\n");
    for (std::size_t r = 0; r < kept.size(); ++r) {
        const Vector3& res = f.residual_deg[r];
        TextSink(out).print("  run %3d  %c%c %-5s  X %+.4f  Y %+.4f  Z %+.4f\n", kept[r]->number,
                            axis_letter(kept[r]->result.axis), kept[r]->sign,
                            printf_text("%g", kept[r]->result.angle_deg).c_str(), res[0], res[1], res[2]);
    }
}

}  // namespace

void write_matrix_text(const ReportInput& in, const MatrixVerdict& v, std::FILE* out) {
    const auto kept = kept_runs(in);
    TextSink(out).print("module %s: cross-axis fit of %zu run%s in %s%s\n",
                        in.log->serial.empty() ? "(no streaming line)" : in.log->serial.c_str(), kept.size(),
                        kept.size() == 1 ? "" : "s", in.log_name.c_str(), dropped_note(in).c_str());
    if (!v.passed()) {
        TextSink(out).print("no matrix: %s\n", matrix_refusal(in, v).c_str());
        // The residuals say which runs the turn typed does not fit.
        if (v.worst) write_residuals(kept, *v.fit.fit, out);
        return;
    }
    const CrossAxisFit& f = *v.fit.fit;
    const bool se = f.standard_error.has_value();
    TextSink(out)
        .print("K: rate = K x (counts - bias); diagonal in rad/s/LSB, the others in %% of their row's diagonal%s\n",
               se ? ", \xC2\xB1 standard error" : " (three runs: no standard errors)");
    const auto line = [&](std::string text) {
        while (!text.empty() && text.back() == ' ') text.pop_back();
        TextSink(out).print("%s\n", text.c_str());
    };
    line(printf_text("          %-27s  %-27s  %-27s", "X counts", "Y counts", "Z counts"));
    for (std::size_t i = 0; i < 3; ++i) {
        std::string row = printf_text("  %c rate", axis_letter(static_cast<int>(i)));
        for (std::size_t j = 0; j < 3; ++j) {
            std::string cell = i == j ? printf_text("%.9f", f.k[i][i]) : printf_text("%+.4f%%", share_pct(f.k, i, j));
            if (se)
                cell += i == j ? printf_text(" \xC2\xB1 %.9f", (*f.standard_error)[i][i])
                               : printf_text(" \xC2\xB1 %.4f%%", share_se_pct(f, i, j));
            // The plus-minus sign is two bytes and one column.
            row += printf_text("  %-*s", se ? 28 : 27, cell.c_str());
        }
        line(row);
    }
    if (const auto alone = scales_alone(f.k))
        TextSink(out).print("scale about each axis alone (as the summary measures it): X %.9f  Y %.9f  Z %.9f\n",
                            (*alone)[0], (*alone)[1], (*alone)[2]);
    TextSink(out).print("condition of the runs: %.2f (1 for three square axes; over %.0f is refused)\n", f.condition,
                        kMaxCondition);
    write_residuals(kept, f, out);
    TextSink(out).write(kCannotTellApart);
    TextSink(out).print("\n");
    write_c_array(in, f, out);
}

namespace {

constexpr const char* kMatrixColumns =
    "log,serial,record,row,column,k,k_se,share_pct,share_se_pct,run,residual_x_deg,residual_y_deg,residual_z_deg,"
    "condition,refused";

}  // namespace

void write_matrix_csv_header(std::FILE* out) { TextSink(out).print("%s\n", kMatrixColumns); }

void write_matrix_csv(const ReportInput& in, const MatrixVerdict& v, std::FILE* out) {
    const std::string head = csv_field(in.log_name) + "," + csv_field(in.log->serial) + ",";
    if (!v.passed()) {
        const std::string condition = v.fit.fit                                     ? exact(v.fit.fit->condition)
                                      : v.fit.refusal == FitRefusal::IllConditioned ? exact(v.fit.condition)
                                                                                    : "";
        TextSink(out).print("%srefused,,,,,,,,,,,%s,%s\n", head.c_str(), condition.c_str(),
                            csv_field(matrix_refusal(in, v)).c_str());
        return;
    }
    const CrossAxisFit& f = *v.fit.fit;
    const bool se = f.standard_error.has_value();
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            TextSink(out).print("%selement,%c,%c,%s,%s,%s,%s,,,,,%s,\n", head.c_str(), axis_letter(static_cast<int>(i)),
                                axis_letter(static_cast<int>(j)), exact(f.k[i][j]).c_str(),
                                se ? exact((*f.standard_error)[i][j]).c_str() : "",
                                i == j ? "" : exact(share_pct(f.k, i, j)).c_str(),
                                i != j && se ? exact(share_se_pct(f, i, j)).c_str() : "", exact(f.condition).c_str());
    const auto kept = kept_runs(in);
    for (std::size_t r = 0; r < kept.size(); ++r)
        TextSink(out).print("%sresidual,,,,,,,%d,%s,%s,%s,,\n", head.c_str(), kept[r]->number,
                            exact(f.residual_deg[r][0]).c_str(), exact(f.residual_deg[r][1]).c_str(),
                            exact(f.residual_deg[r][2]).c_str());
}

void write_matrix_json(const ReportInput& in, const MatrixVerdict& v, std::FILE* out) {
    std::string j = "{\"log\": " + json_string(in.log_name) + ", \"report_version\": \"" ROTABENCH_VERSION "\"" +
                    ", \"serial\": " + (in.log->serial.empty() ? "null" : json_string(in.log->serial));
    if (!v.passed()) {
        j += ", \"matrix\": null, \"refused\": " + json_string(matrix_refusal(in, v));
        j += v.suspect.empty() && v.fit.refusal == FitRefusal::MissingAxis
                 ? printf_text(", \"missing_axis\": \"%c\"", axis_letter(v.fit.missing_axis))
                 : ", \"missing_axis\": null";
        TextSink(out).print("%s}\n", j.c_str());
        return;
    }
    const CrossAxisFit& f = *v.fit.fit;
    const bool se = f.standard_error.has_value();
    const auto rows = [&](auto element) {
        std::string t = "[";
        for (std::size_t r = 0; r < 3; ++r) {
            t += r ? ", [" : "[";
            for (std::size_t c = 0; c < 3; ++c) t += (c ? ", " : "") + element(r, c);
            t += "]";
        }
        return t + "]";
    };
    j += ", \"matrix\": {\"k\": " + rows([&](std::size_t r, std::size_t c) { return json_number(f.k[r][c]); });
    j += ", \"k_se\": " +
         (se ? rows([&](std::size_t r, std::size_t c) { return json_number((*f.standard_error)[r][c]); })
             : std::string("null"));
    j += ", \"share_pct\": " + rows([&](std::size_t r, std::size_t c) {
             return r == c ? std::string("null") : json_number(share_pct(f.k, r, c));
         });
    j += ", \"share_se_pct\": " + (se ? rows([&](std::size_t r, std::size_t c) {
             return r == c ? std::string("null") : json_number(share_se_pct(f, r, c));
         })
                                      : std::string("null"));
    const auto alone = scales_alone(f.k);
    j += ", \"scale_alone\": " + (alone ? "[" + json_number((*alone)[0]) + ", " + json_number((*alone)[1]) + ", " +
                                              json_number((*alone)[2]) + "]"
                                        : std::string("null"));
    j += ", \"condition\": " + json_number(f.condition) + ", \"residual_deg\": [";
    const auto kept = kept_runs(in);
    for (std::size_t r = 0; r < kept.size(); ++r)
        j += printf_text("%s{\"run\": %d, \"residual\": [%s, %s, %s]}", r ? ", " : "", kept[r]->number,
                         json_number(f.residual_deg[r][0]).c_str(), json_number(f.residual_deg[r][1]).c_str(),
                         json_number(f.residual_deg[r][2]).c_str());
    TextSink(out).print("%s]}}\n", j.c_str());
}

}  // namespace vesko::report
