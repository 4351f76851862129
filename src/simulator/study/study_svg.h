#pragma once

// A study drawn: per axis, each session's error of the console's mean as a
// dot on one line, with the 0.1% lines and the 2% gate marked. SVG, by hand.

#include <string>
#include <vector>

#include "simulator/study/study.h"

namespace vesko::simulator {

std::string study_svg(const std::vector<StudySession>& sessions, const std::string& title);

}  // namespace vesko::simulator
