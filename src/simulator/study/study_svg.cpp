#include "simulator/study/study_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "calibration/run_result.h"
#include "simulator/study/svg_axis.h"
#include "simulator/study/svg_labels.h"

namespace vesko::simulator {
namespace {

// The frame: the axis letters on the left, the dots in the middle, each
// axis's figures in a column on the right.
constexpr double kWidth = 780, kLeft = 40, kPlotRight = 560, kFiguresX = 580;
constexpr double kTop = 66, kRowHeight = 70, kRowHalf = 22;
constexpr double kCharWidth = 6.4, kLabelGap = 6;  // sans-serif at 11 px, conservatively wide
constexpr int kMostTicks = 9;
// Lines closer than this on the scale would read as one.
constexpr double kFewestPixelsApart = 4;

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

std::string percent(const char* format, double v) {
    char text[48];
    std::snprintf(text, sizeof text, format, v);
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

std::string text_at(double x, double y, const std::string& text, const std::string& attributes = "") {
    return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\"" + (attributes.empty() ? "" : " " + attributes) +
           ">" + escaped(text) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, const std::string& attributes) {
    return "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) + "\" y2=\"" + number(y2) +
           "\" " + attributes + "/>\n";
}

// Labels on one line of text at height `y`: they may reach from the frame's
// edge to the figures' column.
std::string labels_at(const std::vector<AxisLabel>& labels, const std::vector<std::string>& colours, double y) {
    std::string svg;
    for (const PlacedLabel& p : place_labels(labels, 4, kFiguresX - 8, kCharWidth, kLabelGap))
        svg += text_at(p.centre, y, p.text, "text-anchor=\"middle\" fill=\"" + colours[p.index] + "\"");
    return svg;
}

}  // namespace

std::string study_svg(const std::vector<StudySession>& sessions, const std::string& title,
                      std::optional<double> range_pct) {
    const auto axes = summarize_study(sessions);
    double largest_pct = 0;
    for (const AxisStudy& a : axes) largest_pct = std::max(largest_pct, 100 * a.max_abs_error);
    const ErrorScale scale =
        range_pct ? fixed_error_scale(*range_pct, kMostTicks) : error_scale(largest_pct, kMostTicks);
    const double span = scale.span_pct;
    const auto x = [&](double pct) { return kLeft + (kPlotRight - kLeft) * (pct + span) / (2 * span); };
    const double bottom = kTop + 3 * kRowHeight;

    std::vector<std::string> notes;
    std::string body;
    // The grid: a light line at every tick, zero darker.
    for (double t : scale.ticks_pct)
        body += line(x(t), kTop, x(t), bottom + 5, t == 0 ? "stroke=\"#888\"" : "stroke=\"#e4e4e4\"");
    body += line(kLeft, bottom, kPlotRight, bottom, "stroke=\"#888\"");
    // The 0.1% lines and the gate, labelled above the rows, each label on
    // the side of its line away from zero.
    std::vector<AxisLabel> top_labels;
    std::vector<std::string> top_colours;
    const auto reference = [&](double at, const char* colour, const char* dash, const std::string& label,
                               int priority) {
        body += line(x(at), kTop, x(at), bottom,
                     std::string("stroke=\"") + colour + "\"" +
                         (*dash ? std::string(" stroke-dasharray=\"") + dash + "\"" : ""));
        top_labels.push_back({x(at), label, priority, at < 0 ? AxisLabel::Align::End : AxisLabel::Align::Start});
        top_colours.push_back(colour);
    };
    const double pixels_per_pct = (kPlotRight - kLeft) / (2 * span);
    if (0.1 > span) {
        notes.push_back("the 0.1% lines lie beyond ±" + percent_label(span, scale.decimals).substr(1) +
                        " (off the chart)");
    } else if (0.1 * pixels_per_pct >= kFewestPixelsApart) {
        reference(-0.1, "#c60", "6,3", "-0.1%", 1);
        reference(0.1, "#c60", "6,3", "+0.1%", 1);
    }
    if (2.0 > span) {
        notes.push_back("the 2% gate lies beyond ±" + percent_label(span, scale.decimals).substr(1) +
                        " (off the chart)");
    } else {
        reference(-2.0, "#c00", "", "gate -2%", 2);
        reference(2.0, "#c00", "", "gate +2%", 2);
    }
    body += labels_at(top_labels, top_colours, kTop - 6);
    // Tick labels under the axis; where they would crowd, those nearer zero
    // stay, the same on both sides.
    std::vector<AxisLabel> ticks;
    for (double t : scale.ticks_pct)
        ticks.push_back(
            {x(t), percent_label(t, scale.decimals), -static_cast<int>(std::lround(std::fabs(t) / scale.step_pct))});
    body += labels_at(ticks, std::vector<std::string>(ticks.size(), "#333"), bottom + 18);
    body += text_at((kLeft + kPlotRight) / 2, bottom + 36,
                    "error of the estimated scale against the module's true scale (%)", "text-anchor=\"middle\"");

    const bool any_dot = std::any_of(axes.begin(), axes.end(), [](const AxisStudy& a) { return a.with_summary > 0; });
    for (std::size_t a = 0; a < 3; ++a) {
        const AxisStudy& s = axes[a];
        const double y = kTop + kRowHeight * (static_cast<double>(a) + 0.5);
        body += text_at(12, y + 4, std::string(1, axis_letter(static_cast<int>(a))), "font-size=\"14\"");
        body += line(kLeft, y, kPlotRight, y, "stroke=\"#ddd\"");
        const std::string total = std::to_string(sessions.size());
        if (s.with_summary == 0) {
            if (any_dot)
                body += text_at((kLeft + kPlotRight) / 2, y + 4, "no session printed a mean for this axis",
                                "text-anchor=\"middle\" fill=\"#777\"");
            body += text_at(kFiguresX, y + 4, "0 of " + total + " with a mean", "fill=\"#777\"");
            continue;
        }
        // The 95th percentile of |error|, on both sides of zero.
        const double p95 = 100 * s.p95_abs_error;
        if (p95 <= span) {
            for (const double at : {-p95, p95})
                body += line(x(at), y - kRowHalf, x(at), y + kRowHalf,
                             "stroke=\"#2e7d32\" stroke-width=\"1.5\" stroke-dasharray=\"4,2\"");
        }
        int k = 0, beyond = 0;
        for (const StudySession& session : sessions) {
            const AxisTruth& t = session.truth[a];
            if (t.runs == 0) continue;
            const double pct = 100 * t.error;
            const bool off = std::fabs(pct) > span;
            beyond += off ? 1 : 0;
            const double jitter = ((k++ * 7) % 11 - 5) * 3.0;  // spread the dots so they do not hide each other
            body += "<circle cx=\"" + number(x(std::clamp(pct, -span, span))) + "\" cy=\"" + number(y + jitter) +
                    "\" r=\"2.5\" fill=\"" + (off ? "#c00" : "#1f5fa8") + "\" fill-opacity=\"0.5\"/>\n";
        }
        const double mean_pct = 100 * s.mean_error;
        if (std::fabs(mean_pct) <= span)
            body += line(x(mean_pct), y - kRowHalf, x(mean_pct), y + kRowHalf, "stroke=\"#000\" stroke-width=\"2\"");
        body += text_at(kFiguresX, y - 13, percent("mean %+.4f%%", mean_pct));
        body += text_at(kFiguresX, y + 1, percent("p95 |error| %.4f%%", 100 * s.p95_abs_error), "fill=\"#2e7d32\"");
        body += text_at(kFiguresX, y + 15, std::to_string(s.with_summary) + " of " + total + " with a mean",
                        "fill=\"#555\"");
        if (beyond > 0)
            body += text_at(kFiguresX, y + 29, std::to_string(beyond) + " off the scale, at its edge", "fill=\"#c00\"");
    }
    if (!any_dot) {
        body += "<rect x=\"" + number(kLeft + 60) + "\" y=\"" + number(kTop + kRowHeight - 18) + "\" width=\"" +
                number(kPlotRight - kLeft - 120) + "\" height=\"" + number(kRowHeight + 36) +
                "\" fill=\"white\" stroke=\"#c00\"/>\n";
        body +=
            text_at((kLeft + kPlotRight) / 2, kTop + 1.5 * kRowHeight + 5, "nothing to draw: no session printed a mean",
                    "text-anchor=\"middle\" font-size=\"14\" fill=\"#c00\"");
    }

    const double height = bottom + 56 + 16 * static_cast<double>(notes.size());
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth) + "\" height=\"" +
                      number(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += text_at(kLeft, 20, title, "font-size=\"14\"");
    svg += text_at(kLeft, 38,
                   "one dot per session; black line: the mean; green dashes: \xC2\xB1 the 95th percentile of |error|",
                   "fill=\"#555\"");
    svg += body;
    double note_y = bottom + 56;
    for (const std::string& note : notes) {
        svg += text_at(kLeft, note_y, note, "fill=\"#c00\"");
        note_y += 16;
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace vesko::simulator
