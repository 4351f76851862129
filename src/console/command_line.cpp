#include "console/command_line.h"

#include <cstring>

namespace vesko {

std::optional<std::string> parse_command_line(int argc, const char* const* argv) {
    std::string serial;
    for (int i = 1; i < argc; i += 2) {
        if (std::strcmp(argv[i], "--imu-serial") != 0 || i + 1 >= argc) return std::nullopt;
        serial = argv[i + 1];
    }
    return serial;
}

}  // namespace vesko
