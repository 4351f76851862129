#include "report/session_log.h"

#include <charconv>
#include <string>

#include "console/console_texts.h"

namespace vesko::report {
namespace {

// The markers are the console's own texts, up to or between their figures.
constexpr std::string_view kStreaming = texts::fixed_text(texts::kStreaming);
constexpr std::string_view kAngleQuestion = texts::fixed_text(texts::kAngleQuestion, 0, true);
constexpr std::string_view kDiscovery = "VantisImu: ";
constexpr std::string_view kArm = texts::fixed_text(texts::kArmQuestion);
constexpr std::string_view kDominant = texts::fixed_text(texts::kRunDominant);
constexpr std::string_view kLeakage = texts::fixed_text(texts::kRunDominant, 2);
constexpr std::string_view kScale = texts::fixed_text(texts::kRunScale);
constexpr std::string_view kScaleUnit = texts::fixed_text(texts::kRunScale, 1);
constexpr std::string_view kSummary = texts::fixed_text(texts::kSummaryHead);

// The number that starts `text`, read as the console's own printf wrote it.
std::optional<double> number_at(std::string_view text) {
    double v = 0;
    const auto [stop, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{}) return std::nullopt;
    return v;
}

std::string_view after(std::string_view line, std::string_view marker) {
    const auto at = line.find(marker);
    return at == std::string_view::npos ? std::string_view{} : line.substr(at + marker.size());
}

class Reader {
public:
    SessionLog read(std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size()) {
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
    void take(std::string_view line) {
        if (summary_lines_left_ > 0) {
            summary_line(line);
            return;
        }
        if (line.find(kAngleQuestion) != std::string_view::npos) log_.is_session = true;
        if (line.rfind(kDiscovery, 0) == 0) log_.is_session = true;
        if (const auto at = line.find(kStreaming); at != std::string_view::npos) streaming(line.substr(at + kStreaming.size()));
        if (const auto rest = after(line, kArm); !rest.empty()) angle_ = number_at(rest);
        if (const auto rest = after(line, kDominant); !rest.empty()) dominant(rest, line);
        if (const auto rest = after(line, kScale); !rest.empty()) scale(rest);
        if (const auto at = line.find(kSummary); at != std::string_view::npos) summary_head(line.substr(at + kSummary.size()));
    }

    void streaming(std::string_view rest) {
        log_.is_session = true;
        const auto name = rest.substr(0, rest.find_first_of(" \t"));
        if (seen_streaming_ && log_.second_session_line == 0) log_.second_session_line = line_no_;
        if (!seen_streaming_) log_.serial = std::string(name);
        seen_streaming_ = true;
    }

    // "dominant axis X (sign +)  off-axis leakage 0.3%"
    void dominant(std::string_view rest, std::string_view line) {
        pending_ = std::nullopt;
        if (rest.size() < 9 || rest[0] < 'X' || rest[0] > 'Z' || rest.substr(1, 7) != " (sign ") return;
        const char sign = rest[8];
        const auto leak = number_at(after(line, kLeakage));
        if ((sign != '+' && sign != '-') || !leak) return;
        pending_ = Pending{rest[0] - 'X', sign, *leak / 100.0};
    }

    // "  scale = 0.000977026 rad/s/LSB   vs 1/1024: ..." right after its dominant-axis line.
    void scale(std::string_view rest) {
        const auto value = number_at(rest);
        if (!pending_ || !value || rest.find(kScaleUnit) == std::string_view::npos) return;
        LoggedRun run;
        run.number = static_cast<int>(log_.runs.size()) + 1;
        run.line = line_no_;
        run.result = RunResult{pending_->axis, angle_.value_or(0), *value, pending_->leakage};
        run.sign = pending_->sign;
        log_.runs.push_back(run);
        pending_ = std::nullopt;
        angle_ = std::nullopt;
    }

    // "==== summary (6 runs) ====", then the three axis lines.
    void summary_head(std::string_view rest) {
        const auto n = number_at(rest);
        if (!n || *n < 0) return;
        log_.summary = LoggedSummary{static_cast<std::size_t>(*n), {}};
        summary_lines_left_ = 3;
    }

    void summary_line(std::string_view line) {
        const int axis = 3 - summary_lines_left_--;
        if (line.size() < 3 || line[0] != 'X' + axis || line[1] != ':') {
            log_.summary = std::nullopt;  // not the block the console prints: ignore it
            summary_lines_left_ = 0;
            take(line);
            return;
        }
        log_.summary->axis_lines[static_cast<std::size_t>(axis)] = std::string(line);
    }

    struct Pending {
        int axis;
        char sign;
        double leakage;
    };

    SessionLog log_;
    std::size_t line_no_ = 0;
    bool seen_streaming_ = false;
    std::optional<double> angle_;
    std::optional<Pending> pending_;
    int summary_lines_left_ = 0;
};

}  // namespace

SessionLog read_session_log(std::string_view text) { return Reader().read(text); }

}  // namespace vesko::report
