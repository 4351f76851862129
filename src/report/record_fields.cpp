#include "report/record_fields.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "platform/printf_text.h"

namespace vesko::report {
namespace {

// The length of the well-formed UTF-8 sequence at s[i], or 0.
std::size_t utf8_length(const std::string& s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

}  // namespace

// A figure the report works out, without rounding; empty when there is none.
std::string exact(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? printf_text("%.17g", *v) : std::string();
}

// RFC 4180: a field with a comma, a quote, a line end or any other control
// character (a NUL from a damaged log) is quoted, its quotes doubled.
std::string csv_field(const std::string& s) {
    const bool plain = std::none_of(s.begin(), s.end(), [](char c) {
        return c == ',' || c == '"' || (static_cast<unsigned char>(c) < 0x20);
    });
    if (plain) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// A JSON string; bytes that are not UTF-8 (a file name, a serial) become U+FFFD.
std::string json_string(const std::string& s) {
    std::string q = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = utf8_length(s, i);
        if (n == 0) {
            q += "\\ufffd";
            ++i;
        } else if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            q += printf_text("\\u%04x", c);
            ++i;
        } else {
            q.append(s, i, n);
            i += n;
        }
    }
    return q + "\"";
}

std::string json_number(const std::optional<double>& v) {
    const std::string text = exact(v);
    return text.empty() ? "null" : text;
}

}  // namespace vesko::report
