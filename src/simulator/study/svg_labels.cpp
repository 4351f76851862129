#include "simulator/study/svg_labels.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vesko::simulator {

double text_width(const std::string& text, double char_width) {
    // One character per byte that does not continue a UTF-8 sequence.
    const auto chars = std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; });
    return static_cast<double>(chars) * char_width;
}

std::vector<PlacedLabel> place_labels(const std::vector<AxisLabel>& labels, double left, double right,
                                      double char_width, double gap) {
    std::vector<std::size_t> order(labels.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return labels[a].priority > labels[b].priority; });
    std::vector<PlacedLabel> placed;
    for (const std::size_t i : order) {
        const AxisLabel& label = labels[i];
        const double half = text_width(label.text, char_width) / 2;
        if (2 * half > right - left) continue;
        const double wanted = label.align == AxisLabel::Align::End     ? label.x - half
                              : label.align == AxisLabel::Align::Start ? label.x + half
                                                                       : label.x;
        const double centre = std::clamp(wanted, left + half, right - half);
        const bool clear = std::none_of(placed.begin(), placed.end(), [&](const PlacedLabel& p) {
            return std::abs(p.centre - centre) < half + text_width(p.text, char_width) / 2 + gap;
        });
        if (clear) placed.push_back({centre, label.text, i});
    }
    std::sort(placed.begin(), placed.end(),
              [](const PlacedLabel& a, const PlacedLabel& b) { return a.index < b.index; });
    return placed;
}

}  // namespace vesko::simulator
