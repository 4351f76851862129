#include "simulator/study/svg_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vesko::simulator {

double round_step(double at_least) {
    const double power = std::pow(10.0, std::floor(std::log10(at_least)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        // A hair of tolerance: 0.3 / 3 is not quite 0.1 in binary.
        if (m * power >= at_least * (1 - 1e-9)) return m * power;
    }
    return 10 * power;
}

namespace {

ErrorScale scale_with_step(double span_pct, double step_pct) {
    ErrorScale scale;
    scale.span_pct = span_pct;
    scale.step_pct = step_pct;
    const long half = static_cast<long>(std::floor(span_pct / step_pct + 1e-9));
    for (long k = -half; k <= half; ++k) scale.ticks_pct.push_back(static_cast<double>(k) * step_pct);
    scale.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step_pct) + 1e-9)));
    return scale;
}

}  // namespace

ErrorScale error_scale(double largest_pct, int most_ticks) {
    const double wanted = largest_pct > 0 ? 1.03 * largest_pct : 0.1;
    const double step = round_step(2 * wanted / std::max(2, most_ticks - 1));
    return scale_with_step(std::ceil(wanted / step - 1e-9) * step, step);
}

ErrorScale fixed_error_scale(double span_pct, int most_ticks) {
    return scale_with_step(span_pct, round_step(2 * span_pct / std::max(2, most_ticks - 1)));
}

std::string percent_label(double pct, int decimals) {
    if (std::fabs(pct) < 0.5 * std::pow(10.0, -decimals)) return "0";
    char text[48];
    std::snprintf(text, sizeof text, "%+.*f%%", decimals, pct);
    return text;
}

}  // namespace vesko::simulator
