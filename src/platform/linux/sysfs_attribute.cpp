#include "platform/linux/sysfs_attribute.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "platform/linux/unique_fd.h"

namespace vesko::platform::linux_hid {

std::optional<std::string> read_attribute(const std::filesystem::path& file) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return std::nullopt;
    }
    std::array<char, 4096> buffer{};
    std::size_t used = 0;
    while (used < buffer.size()) {
        const ssize_t n = ::read(fd.get(), buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    std::string text(buffer.data(), used);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

std::optional<std::uint16_t> parse_hex16(std::string_view text) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    for (char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    return value;
}

std::optional<std::uint32_t> parse_decimal(std::string_view text) {
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

}  // namespace vesko::platform::linux_hid
