#include "console/angle_entry.h"

#include <cmath>
#include <cstdlib>

#include "console/rotation_run.h"

namespace vesko {

std::optional<double> accepted_angle(const std::string& line) {
    const double angle = std::atof(line.c_str());
    if (!(angle > 0) || !std::isfinite(angle) || !std::isfinite(angle * kPi)) return std::nullopt;
    // The run's scale divides this by the integrated counts; a denormal or
    // zero here would record a run with scale 0.
    if (!std::isnormal(angle * kPi / 180.0)) return std::nullopt;
    return angle;
}

}  // namespace vesko
