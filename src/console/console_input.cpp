#include "console/console_input.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calibration/run_result.h"

namespace vesko {

std::optional<std::string> parse_command_line(int argc, const char* const* argv) {
    std::string serial;
    for (int i = 1; i < argc; i += 2) {
        if (std::strcmp(argv[i], "--imu-serial") != 0 || i + 1 >= argc) return std::nullopt;
        serial = argv[i + 1];
    }
    return serial;
}

bool read_line(std::string& line, const std::function<int()>& read_char) {
    line.clear();
    for (;;) {
        const int c = read_char();
        if (c == EOF) return !line.empty();
        if (c == '\n') return true;
        line.push_back(static_cast<char>(c));
    }
}

std::optional<double> accepted_angle(const std::string& line) {
    const double angle = std::atof(line.c_str());
    if (!(angle > 0) || !std::isfinite(angle) || !std::isfinite(angle * kPi)) return std::nullopt;
    // The run's scale divides this by the integrated counts; a denormal or
    // zero here would record a run with scale 0.
    if (!std::isnormal(angle * kPi / 180.0)) return std::nullopt;
    return angle;
}

platform::InterruptAction interrupt_action(platform::InterruptKind kind, unsigned earlier) {
    if (earlier > 0) return platform::InterruptAction::EndNow;
    return kind == platform::InterruptKind::CloseWindow ? platform::InterruptAction::HoldUntilStopped
                                                        : platform::InterruptAction::StopSession;
}

}  // namespace vesko
