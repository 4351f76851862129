#include "report/record_fields.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "text/printf_text.h"

namespace vesko::report {
namespace {

// The UTF-8 sequence at s[i]: its length and whether it is well formed
// (RFC 3629: no overlong form, no surrogate, nothing past U+10FFFF). One that
// is not is as long as the longest start of a well-formed one there, and at
// least a byte: it stands for one U+FFFD.
struct Sequence {
    std::size_t length;
    bool well_formed;
};

Sequence utf8_sequence(const std::string& s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return {1, true};
    // The range of the byte after the lead byte; the others are 80..BF.
    unsigned char lo = 0x80, hi = 0xBF;
    std::size_t n = 0;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    else return {1, false};
    for (std::size_t k = 1; k < n; ++k, lo = 0x80, hi = 0xBF) {
        if (i + k >= s.size()) return {k, false};
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < lo || b > hi) return {k, false};
    }
    return {n, true};
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

// A JSON string; bytes that are not UTF-8 (a file name, a serial) become
// U+FFFD, one for each longest start of a sequence.
std::string json_string(const std::string& s) {
    std::string q = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const Sequence seq = utf8_sequence(s, i);
        if (!seq.well_formed) {
            q += "\\ufffd";
            i += seq.length;
        } else if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            q += printf_text("\\u%04x", c);
            ++i;
        } else {
            q.append(s, i, seq.length);
            i += seq.length;
        }
    }
    return q + "\"";
}

std::string json_number(const std::optional<double>& v) {
    const std::string text = exact(v);
    return text.empty() ? "null" : text;
}

}  // namespace vesko::report
