#pragma once

// What the console prints, every text in one place: the dialogue, the run's
// outcome lines and the summary, as printf formats. The console prints them;
// rotabench-report reads a session's log back by them; the operator-guide
// test checks that the guide explains each.

#include <cstddef>
#include <string_view>

#include "text/em_dash.h"

namespace vesko::texts {

// Start-up.
inline constexpr char kUsageLine[] = "usage: rotabench [--imu-serial KVR-...]\n";
inline constexpr char kNoSamples[] = "no IMU samples after 5 s\n";
inline constexpr char kStreaming[] = "IMU streaming from %s\n\n";

// The dialogue of one run.
inline constexpr char kAngleQuestion[] = "rotation angle in degrees for this run (90/180/360, q=quit): ";
inline constexpr char kBadAngle[] = "  bad angle\n";
inline constexpr char kBiasCapture[] = "  hold STILL against the jig " ROTABENCH_EM_DASH " 2 s bias capture...";
inline constexpr char kBiasStarved[] = " only %llu samples " ROTABENCH_EM_DASH " stream unhealthy, run aborted\n";
inline constexpr char kBiasFigures[] = " bias [%.2f %.2f %.2f] LSB  noise sd [%.1f %.1f %.1f] (%llu samples)\n";
inline constexpr char kArmQuestion[] =
    "  press Enter to ARM, rotate exactly %g deg (settle ~1 s still before/after), Enter again to finish: ";
inline constexpr char kIntegrating[] = "  ...integrating, finish with Enter: ";

// A run's outcome.
inline constexpr char kRunGap[] = "  RUN INVALID: stream gap > 0.5 s during integration (max dt %.3f s)\n";
inline constexpr char kRunNoRotation[] =
    "  RUN INVALID: no rotation detected (%llu samples, dominant integral %.1f LSB*s)\n\n";
inline constexpr char kRunIntegral[] = "  integral [%.1f %.1f %.1f] LSB*s  (%llu samples, max dt %.4f s)\n";
inline constexpr char kRunDominant[] = "  dominant axis %c (sign %c)  off-axis leakage %.1f%%\n";
inline constexpr char kRunScale[] = "  scale = %.9f rad/s/LSB   vs 1/1024: %+.2f%%   vs 0.001: %+.2f%%\n\n";

// The summary at the end.
inline constexpr char kSummaryHead[] = "\n==== summary (%zu runs) ====\n";
inline constexpr char kSummaryAxis[] = "%c: %d runs  mean %.9f  spread %.2f%%  vs 1/1024 %+.2f%%  vs 0.001 %+.2f%%";
inline constexpr char kSummaryNoRuns[] = "%c: NO RUNS " ROTABENCH_EM_DASH " gate requires all axes";
inline constexpr char kSummaryGate[] =
    "gate: per-axis mean must sit within ~2%% of one consistent value on all three axes\n";

// Windows: the console window the program opened itself waits before closing.
inline constexpr char kPressEnterToClose[] = "press Enter to close";

// The fixed text of `format` that comes before its first conversion, after
// its first `skip` conversions, without line ends (and without trailing
// blanks when `trim` says so). For reading a log back.
constexpr std::string_view fixed_text(std::string_view format, int skip = 0, bool trim = false) {
    // Plain index loops: the sanitizers' checks make the library's find()
    // unusable in a constant expression.
    std::size_t at = 0;
    for (int k = 0; k < skip; ++k) {
        while (at < format.size() && (format[at] != '%' || (at + 1 < format.size() && format[at + 1] == '%')))
            at += format[at] == '%' ? 2 : 1;
        const auto letter = [](char c) { return c == 'c' || c == 'd' || c == 'f' || c == 'g' || c == 's' || c == 'u'; };
        while (at < format.size() && !letter(format[at])) ++at;  // to the conversion's letter
        ++at;
    }
    std::size_t end = at;
    while (end < format.size() && format[end] != '%') ++end;
    std::size_t first = at;
    while (first < end && format[first] == '\n') ++first;
    while (end > first && (format[end - 1] == '\n' || (trim && format[end - 1] == ' '))) --end;
    return first < format.size() ? format.substr(first, end - first) : std::string_view{};
}

}  // namespace vesko::texts
