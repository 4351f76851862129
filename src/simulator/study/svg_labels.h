#pragma once

// Labels along one line of a drawing, placed so that no two overlap.

#include <string>
#include <vector>

namespace vesko::simulator {

struct AxisLabel {
    enum class Align { Centre, End, Start };  // the text centred on x, ending at it, starting at it
    double x = 0;                             // where the label belongs
    std::string text;
    int priority = 0;  // of two that would overlap, the higher stays
    Align align = Align::Centre;
};

struct PlacedLabel {
    double centre = 0;  // of the text as drawn
    std::string text;
    std::size_t index = 0;  // in the labels given
};

// The width of `text` (UTF-8) in a font whose characters are `char_width`
// wide on average.
double text_width(const std::string& text, double char_width);

// The labels that fit, in the order given: each where its alignment puts it,
// shifted inside [left, right] at the edges; one that would come within `gap`
// of a label kept before it (higher priority first, then in the order given)
// is left out.
std::vector<PlacedLabel> place_labels(const std::vector<AxisLabel>& labels, double left, double right,
                                      double char_width, double gap);

}  // namespace vesko::simulator
