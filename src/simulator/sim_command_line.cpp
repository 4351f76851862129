#include "simulator/sim_command_line.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace vesko::simulator {
namespace {

// A study runs at most this many sessions at a time; more is a typing error.
constexpr std::uint64_t kMostJobs = 1024;

std::optional<std::uint64_t> whole_number(const char* text, std::uint64_t most) {
    if (text == nullptr) return std::nullopt;
    const char* end = text + std::strlen(text);
    std::uint64_t value = 0;
    const auto [stop, ec] = std::from_chars(text, end, value);
    if (ec != std::errc{} || stop != end || value > most) return std::nullopt;
    return value;
}

}  // namespace

std::optional<SimCommandLine> parse_sim_command_line(int argc, const char* const* argv) {
    SimCommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--fast") {
            line.fast = true;
        } else if (arg == "--csv") {
            line.csv = true;
        } else if (arg == "--study") {
            const auto n = whole_number(value, 1'000'000);
            if (!n || *n == 0) return std::nullopt;
            line.study_sessions = static_cast<int>(*n);
            ++i;
        } else if (arg == "--jobs") {
            const auto j = whole_number(value, kMostJobs);
            if (!j || *j == 0) return std::nullopt;
            line.jobs = static_cast<unsigned>(*j);
            ++i;
        } else if (arg == "--svg") {
            if (value == nullptr || *value == '\0') return std::nullopt;
            line.svg_file = std::string(value);
            ++i;
        } else if (arg == "--seed") {
            const auto s = whole_number(value, ~std::uint64_t{0} / 2);
            if (!s) return std::nullopt;
            line.seed = *s;
            ++i;
        } else if (!arg.empty() && arg[0] != '-' && !line.scenario_file) {
            line.scenario_file = std::string(arg);
        } else {
            return std::nullopt;
        }
    }
    const bool study = line.study_sessions > 0;
    if ((line.csv || line.seed || line.svg_file || line.jobs) && !study) return std::nullopt;
    if (study && line.fast) return std::nullopt;  // a study is always in virtual time
    return line;
}

}  // namespace vesko::simulator
