#pragma once

// A study drawn: per axis, each session's error of the console's mean as a
// dot on one line, its mean and the 95th percentile of |error| marked with
// their values, ticks at round steps across the scale, the 0.1% lines and
// the 2% gate where they fall on it. SVG, by hand; the same sessions give
// the same bytes.

#include <optional>
#include <string>
#include <vector>

#include "simulator/study/study.h"

namespace vesko::simulator {

// `range_pct` fixes the scale to +/- that many percent (to lay two studies
// side by side); without it the scale holds every dot.
std::string study_svg(const std::vector<StudySession>& sessions, const std::string& title,
                      std::optional<double> range_pct = std::nullopt);

}  // namespace vesko::simulator
