#pragma once

// Reading one sysfs attribute file: a short text ending in a newline.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vesko::platform::linux_hid {

// The file's text without its trailing newline; nullopt when it cannot be
// read. Attributes are small; anything past 4 KiB is ignored.
std::optional<std::string> read_attribute(const std::filesystem::path& file);

// "28de" -> 0x28DE; nullopt unless 1 to 4 hex digits.
std::optional<std::uint16_t> parse_hex16(std::string_view text);

// "12" -> 12; nullopt unless 1 to 9 decimal digits.
std::optional<std::uint32_t> parse_decimal(std::string_view text);

}  // namespace vesko::platform::linux_hid
