#include "simulator/study/study_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vesko::simulator {
namespace {

constexpr double kWidth = 720, kLeft = 40, kRight = 20, kRowHeight = 70, kTop = 50;

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

}  // namespace

std::string study_svg(const std::vector<StudySession>& sessions, const std::string& title) {
    // The axis spans the largest |error| with a margin, and at least the 0.1% lines.
    double span = 0.0012;
    for (const StudySession& s : sessions)
        for (const AxisTruth& a : s.truth)
            if (a.runs > 0) span = std::max(span, 1.15 * std::fabs(a.error));
    const double plot = kWidth - kLeft - kRight;
    const auto x = [&](double error) { return kLeft + plot * (error + span) / (2 * span); };
    const double height = kTop + 3 * kRowHeight + 40;

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth) + "\" height=\"" +
                      number(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + number(kLeft) + "\" y=\"20\" font-size=\"14\">" + escaped(title) + "</text>\n";
    svg += "<text x=\"" + number(kLeft) + "\" y=\"38\" fill=\"#555\">error of the per-axis mean against the true "
           "scale, one dot per session</text>\n";
    const double bottom = kTop + 3 * kRowHeight;
    const auto vertical = [&](double error, const char* colour, const char* dash, const std::string& label) {
        if (std::fabs(error) > span) return;
        svg += "<line x1=\"" + number(x(error)) + "\" y1=\"" + number(kTop) + "\" x2=\"" + number(x(error)) +
               "\" y2=\"" + number(bottom) + "\" stroke=\"" + colour + "\" stroke-dasharray=\"" + dash + "\"/>\n";
        svg += "<text x=\"" + number(x(error)) + "\" y=\"" + number(bottom + 16) + "\" text-anchor=\"middle\" fill=\"" +
               colour + "\">" + label + "</text>\n";
    };
    vertical(0.0, "#999", "2,2", "0");
    vertical(-0.001, "#c60", "6,3", "-0.1%");
    vertical(0.001, "#c60", "6,3", "+0.1%");
    if (span >= 0.02) {
        vertical(-0.02, "#c00", "", "gate -2%");
        vertical(0.02, "#c00", "", "gate +2%");
    } else {
        svg += "<text x=\"" + number(kWidth - kRight) + "\" y=\"" + number(bottom + 32) +
               "\" text-anchor=\"end\" fill=\"#c00\">the 2% gate lies beyond +/-" + number(100 * span) +
               "% (off the chart)</text>\n";
    }
    for (int a = 0; a < 3; ++a) {
        const double y = kTop + kRowHeight * (a + 0.5);
        svg += "<text x=\"10\" y=\"" + number(y + 4) + "\">" + std::string(1, "XYZ"[a]) + "</text>\n";
        svg += "<line x1=\"" + number(kLeft) + "\" y1=\"" + number(y) + "\" x2=\"" + number(kWidth - kRight) +
               "\" y2=\"" + number(y) + "\" stroke=\"#ddd\"/>\n";
        int k = 0;
        for (const StudySession& s : sessions) {
            const AxisTruth& t = s.truth[static_cast<std::size_t>(a)];
            if (t.runs == 0) continue;
            const double jitter = ((k++ * 7) % 11 - 5) * 2.5;  // spread the dots so they do not hide each other
            svg += "<circle cx=\"" + number(x(t.error)) + "\" cy=\"" + number(y + jitter) +
                   "\" r=\"2.5\" fill=\"#1f5fa8\" fill-opacity=\"0.5\"/>\n";
        }
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace vesko::simulator
