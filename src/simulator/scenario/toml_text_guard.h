#pragma once

// A check of scenario text before the TOML reader sees it: the reader in
// Debian 12 decides whether a character outside ASCII is whitespace with a
// table that is wrong for much of Latin, Greek and Cyrillic, and reaches
// code it marks unreachable instead of reporting a syntax error.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesko::simulator {

struct TextFault {
    std::uint32_t line = 0;  // 1-based
    std::string what;
};

// Refuses, with the line, the text on which the reader asks that question:
//   - a byte outside ASCII outside a string or comment;
//   - in a """ string, a backslash followed by blanks or line ends and then
//     such a byte (the reader asks it while trimming after the backslash).
// Everything else is left for the reader to accept or report.
std::optional<TextFault> find_unsafe_toml(std::string_view text);

}  // namespace vesko::simulator
