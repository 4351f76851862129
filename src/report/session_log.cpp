#include "report/session_log.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "console/console_texts.h"
#include "platform/device_text.h"
#include "report/printed_fields.h"
#include "text/printf_text.h"

namespace vesko::report {
namespace {

// The markers are the console's own texts, up to or between their figures.
constexpr std::string_view kStreaming = texts::fixed_text(texts::kStreaming);
constexpr std::string_view kAngleQuestion = texts::fixed_text(texts::kAngleQuestion, 0, true);
constexpr std::string_view kDiscovery = "VantisImu: ";
constexpr std::string_view kArm = texts::fixed_text(texts::kArmQuestion);
constexpr std::string_view kIntegral = texts::fixed_text(texts::kRunIntegral);
constexpr std::string_view kDominant = texts::fixed_text(texts::kRunDominant);
constexpr std::string_view kScale = texts::fixed_text(texts::kRunScale);
constexpr std::string_view kSummary = texts::fixed_text(texts::kSummaryHead);
constexpr std::string_view kScriptStarted = "Script started on ";

// A question of the dialogue: its text (from its start to the end of its
// first fixed part, and its last fixed part when it has a figure), and what
// the console itself may print right after it. In a log kept by tee, which
// keeps no typed line ends, that is what follows the question on its line;
// anything else there is the operator's answer, as a terminal echoed it.
// After any question the summary can come, when the session is broken off
// there (the line end before it is the console's, but a record that lost the
// typed ones may have lost that one too).
struct Question {
    std::string_view start, end;
    std::array<std::string_view, 4> next;
};
constexpr std::string_view kArmEnd = texts::fixed_text(texts::kArmQuestion, 1, true);
constexpr std::string_view kIntegrating = texts::fixed_text(texts::kIntegrating, 0, true);
constexpr std::string_view kBadAngleReply = texts::fixed_text(texts::kBadAngle);
constexpr std::string_view kBiasCapture = texts::fixed_text(texts::kBiasCapture);
constexpr std::string_view kRunGap = texts::fixed_text(texts::kRunGap);
constexpr std::string_view kNoRotation = texts::fixed_text(texts::kRunNoRotation);
constexpr Question kQuestions[] = {
    {kAngleQuestion, {}, {kBadAngleReply, kBiasCapture, kSummary, {}}},
    {kArm, kArmEnd, {kIntegrating, kSummary, {}, {}}},
    {kIntegrating, {}, {kRunGap, kNoRotation, kIntegral, kSummary}},
};

// Why a line is not the console's.
constexpr const char* kBadArm = "the rotation question's angle is not as the console prints it";
constexpr const char* kBadIntegral = "an integral line not as the console prints it";
constexpr const char* kBadDominant = "a dominant-axis line not as the console prints it";
constexpr const char* kBadScale = "a scale line not as the console prints it";
constexpr const char* kScaleDisagrees = "a scale line whose deviations do not follow from its scale";
constexpr const char* kLoneScale = "a scale line without the dominant-axis line before it";
constexpr const char* kBadSummary = "a summary line not as the console prints it";
constexpr const char* kSecondSummary = "a second summary block in one session";

// A log saved as UTF-16 (PowerShell's Tee-Object) with its byte-order mark,
// as UTF-8; a UTF-8 byte-order mark dropped.
std::string as_utf8(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
    const bool le = bytes.substr(0, 2) == "\xFF\xFE", be = bytes.substr(0, 2) == "\xFE\xFF";
    if (!le && !be) return std::string(bytes);
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(le ? a | (b << 8) : (a << 8) | b));
    }
    return platform::to_utf8(units);
}

// The text of `line` from `marker` on; empty when the marker is not in it.
std::string_view from(std::string_view line, std::string_view marker) {
    const auto at = line.find(marker);
    return at == std::string_view::npos ? std::string_view{} : line.substr(at);
}

// What the console printed of `line`: all of it, but for an answer the
// operator typed after a question (the console reads only its number, and
// ignores the rest), which is left out however much it looks like the
// console's own lines.
std::string_view printed_part(std::string_view line) {
    for (std::size_t from = 0;;) {
        std::size_t first = std::string_view::npos, end = 0;
        const Question* asked = nullptr;
        for (const Question& q : kQuestions) {
            const auto at = line.find(q.start, from);
            if (at == std::string_view::npos || at >= first) continue;
            std::size_t stop = at + q.start.size();
            if (!q.end.empty() && (stop = line.find(q.end, stop)) == std::string_view::npos) continue;
            first = at, asked = &q, end = stop + q.end.size();
        }
        if (asked == nullptr) return line;
        if (end < line.size() && line[end] == ' ') ++end;  // the question's own blank
        const std::string_view rest = line.substr(end);
        const auto follows = [&](std::string_view t) { return !t.empty() && rest.substr(0, t.size()) == t; };
        const bool printed = rest.empty() || std::any_of(asked->next.begin(), asked->next.end(), follows);
        if (!printed) return line.substr(0, end);
        from = end;
    }
}

class Reader {
public:
    SessionLog read(std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size() && log_.bad_line == 0) {
            auto end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            ++line_no_;
            take(line);
            start = end + 1;
        }
        return log_;
    }

private:
    void bad(const char* what) {
        if (log_.bad_line != 0) return;
        log_.bad_line = line_no_;
        log_.bad_what = what;
    }

    void take(std::string_view line) {
        line = printed_part(line);
        if (summary_lines_left_ > 0) {
            summary_line(line);
            return;
        }
        if (line_no_ == 1 && line.rfind(kScriptStarted, 0) == 0) {
            const auto rest = line.substr(kScriptStarted.size());
            log_.started = std::string(rest.substr(0, rest.find(" [")));
        }
        if (line.find(kAngleQuestion) != std::string_view::npos) log_.is_session = true;
        if (line.rfind(kDiscovery, 0) == 0) log_.is_session = true;
        if (const auto at = line.find(kStreaming); at != std::string_view::npos)
            streaming(line.substr(at + kStreaming.size()));
        if (const auto rest = from(line, kArm); !rest.empty()) arm(rest);
        if (const auto rest = from(line, kIntegral); !rest.empty()) integral(rest);
        if (const auto rest = from(line, kDominant); !rest.empty()) dominant(rest);
        if (const auto rest = from(line, kScale); !rest.empty()) scale(rest);
        if (const auto rest = from(line, kSummary); !rest.empty()) summary_head(rest);
    }

    void streaming(std::string_view rest) {
        log_.is_session = true;
        const auto name = rest.substr(0, rest.find_first_of(" \t"));
        if (seen_streaming_ && log_.second_session_line == 0) log_.second_session_line = line_no_;
        if (!seen_streaming_) log_.serial = std::string(name);
        seen_streaming_ = true;
    }

    // "  press Enter to ARM, rotate exactly 90 deg (...) Enter again to finish: " and, in a
    // log kept by tee, whatever the console printed next.
    void arm(std::string_view rest) {
        const auto f = printed_fields(texts::kArmQuestion, rest, false);
        angle_ = f ? field_number((*f)[0]) : std::nullopt;
        if (!angle_ || !(*angle_ > 0)) bad(kBadArm);
        pending_ = std::nullopt;
        integral_ = std::nullopt;
    }

    // "  integral [1600.0 16.0 -8.0] LSB*s  (1000 samples, max dt 0.0010 s)"
    void integral(std::string_view rest) {
        const auto f = printed_fields(texts::kRunIntegral, rest);
        std::optional<unsigned long long> samples;
        std::optional<double> max_dt;
        if (f) samples = field_count((*f)[3]), max_dt = field_number((*f)[4]);
        Integral got{};
        for (std::size_t i = 0; f && i < 3; ++i) {
            const auto v = field_number((*f)[i]);
            if (!v) return bad(kBadIntegral);
            got.lsb_s[i] = *v;
        }
        if (!f || !samples || !max_dt) return bad(kBadIntegral);
        got.samples = *samples, got.max_dt = *max_dt;
        integral_ = got;
    }

    // "  dominant axis X (sign +)  off-axis leakage 0.3%"
    void dominant(std::string_view rest) {
        pending_ = std::nullopt;
        const auto f = printed_fields(texts::kRunDominant, rest);
        const std::optional<double> leak = f ? field_number((*f)[2]) : std::nullopt;
        if (!f || (*f)[0][0] < 'X' || (*f)[0][0] > 'Z' || ((*f)[1][0] != '+' && (*f)[1][0] != '-') || !leak ||
            *leak < 0)
            return bad(kBadDominant);
        pending_ = Pending{(*f)[0][0] - 'X', (*f)[1][0], *leak / 100.0};
    }

    // "  scale = 0.000977026 rad/s/LSB   vs 1/1024: +0.05%   vs 0.001: -2.30%" after its dominant-axis line.
    void scale(std::string_view rest) {
        const auto f = printed_fields(texts::kRunScale, rest);
        const std::optional<double> value = f ? field_number((*f)[0]) : std::nullopt;
        if (!f || !value || !(*value > 0) || !field_number((*f)[1]) || !field_number((*f)[2])) return bad(kBadScale);
        // Its deviations are worked out from the scale as printed to nine
        // decimals: an edited scale no longer gives them.
        const auto near = [](std::string_view printed, double exact) {
            const double diff = *field_number(printed) - exact;
            return diff <= 0.006 && diff >= -0.006;
        };
        if (!near((*f)[1], vs_1024_pct(*value)) || !near((*f)[2], vs_0001_pct(*value))) return bad(kScaleDisagrees);
        if (!pending_) return bad(kLoneScale);
        LoggedRun run;
        run.number = static_cast<int>(log_.runs.size()) + 1;
        run.line = line_no_;
        run.result = RunResult{pending_->axis, angle_.value_or(0), *value, pending_->leakage};
        run.sign = pending_->sign;
        if (integral_) {
            run.samples = integral_->samples, run.max_dt = integral_->max_dt;
            run.result.integral = integral_->lsb_s;
            run.has_integral = true;
        }
        log_.runs.push_back(run);
        pending_ = std::nullopt;
        integral_ = std::nullopt;
        angle_ = std::nullopt;
    }

    // "==== summary (6 runs) ====", then the three axis lines.
    void summary_head(std::string_view rest) {
        const auto f = printed_fields(texts::kSummaryHead, rest);
        const std::optional<unsigned long long> n = f ? field_count((*f)[0]) : std::nullopt;
        if (!n || *n > SIZE_MAX) return bad(kBadSummary);
        // The console sums a session up once, as it quits; a second session's
        // block is refused with its streaming line.
        if (log_.summary && log_.second_session_line == 0) return bad(kSecondSummary);
        log_.summary = LoggedSummary{static_cast<std::size_t>(*n), {}};
        summary_lines_left_ = 3;
    }

    void summary_line(std::string_view line) {
        // In a terminal's record the reader's messages can come between them.
        if (line.rfind(kDiscovery, 0) == 0) return;
        const int axis = 3 - summary_lines_left_--;
        const auto runs = printed_fields(texts::kSummaryAxis, line);
        const auto none = printed_fields(texts::kSummaryNoRuns, line);
        const auto& f = runs ? runs : none;
        bool ok = f && (*f)[0].size() == 1 && (*f)[0][0] == 'X' + axis;
        if (ok && runs)
            for (std::size_t i = 1; i < runs->size(); ++i) ok = ok && field_number((*runs)[i]).has_value();
        if (!ok) return bad(kBadSummary);
        log_.summary->axis_lines[static_cast<std::size_t>(axis)] = std::string(line);
    }

    struct Pending {
        int axis;
        char sign;
        double leakage;
    };
    struct Integral {
        std::array<double, 3> lsb_s;  // as printed, to 0.1 LSB*s
        unsigned long long samples;
        double max_dt;
    };

    SessionLog log_;
    std::size_t line_no_ = 0;
    bool seen_streaming_ = false;
    std::optional<double> angle_;
    std::optional<Integral> integral_;
    std::optional<Pending> pending_;
    int summary_lines_left_ = 0;
};

}  // namespace

SessionLog read_session_log(std::string_view text) { return Reader().read(as_utf8(text)); }

}  // namespace vesko::report
