#include "simulator/scenario/expectations.h"

#include <optional>
#include <regex>
#include <vector>

namespace vesko::simulator {
namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Each expected line in order, each after the one before it. A pattern is
// compiled once, not once per line it is tried on.
std::optional<std::string> unmet_line(const std::vector<std::string>& expected, std::string_view text,
                                      const char* stream) {
    const auto lines = lines_of(text);
    std::size_t at = 0;
    for (const std::string& want : expected) {
        std::optional<std::regex> pattern;
        if (want.rfind("re:", 0) == 0) pattern.emplace(want.substr(3));
        const auto matches = [&](std::string_view line) {
            if (!pattern) return line == want;
            return std::regex_match(line.begin(), line.end(), *pattern);
        };
        while (at < lines.size() && !matches(lines[at])) ++at;
        if (at == lines.size()) return std::string(stream) + " lacks, in its place, the line: " + want;
        ++at;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> first_unmet(const Expectation& expect, bool virtual_time, int exit_code,
                                       std::string_view out, std::string_view err) {
    if (expect.exit_code && *expect.exit_code != exit_code) {
        return "exit code " + std::to_string(exit_code) + ", expected " + std::to_string(*expect.exit_code);
    }
    if (auto unmet = unmet_line(expect.out_lines, out, "standard output")) return unmet;
    if (auto unmet = unmet_line(expect.err_lines, err, "standard error")) return unmet;
    if (!virtual_time) return std::nullopt;
    if (auto unmet = unmet_line(expect.fast_out_lines, out, "standard output in virtual time")) return unmet;
    return unmet_line(expect.fast_err_lines, err, "standard error in virtual time");
}

}  // namespace vesko::simulator
