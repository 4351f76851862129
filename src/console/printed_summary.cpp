#include "console/printed_summary.h"

#include "console/console_texts.h"
#include "text/printf_text.h"

namespace vesko {

std::string summary_axis_line(int axis, const std::optional<AxisSummary>& s) {
    if (!s) return printf_text(texts::kSummaryNoRuns, axis_letter(axis));
    return printf_text(texts::kSummaryAxis, axis_letter(axis), s->runs, s->mean, s->spread_pct, s->vs_1024_pct,
                       s->vs_0001_pct);
}

void print_summary(const std::vector<RunResult>& runs, TextSink out) {
    out.print(texts::kSummaryHead, runs.size());
    const AxisSummaries axes = summarize_axes(runs);
    for (int a = 0; a < 3; ++a) out.print("%s\n", summary_axis_line(a, axes[static_cast<std::size_t>(a)]).c_str());
    out.print(texts::kSummaryGate);
}

}  // namespace vesko
