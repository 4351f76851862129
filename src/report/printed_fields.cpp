#include "report/printed_fields.h"

#include <charconv>
#include <cmath>

namespace vesko::report {
namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// How many characters at the start of `s` are digits.
std::size_t digits(std::string_view s) {
    std::size_t n = 0;
    while (n < s.size() && digit(s[n])) ++n;
    return n;
}

// The length of what a conversion printed at the start of `s`, or 0 when it
// cannot have printed it. `conversion` is the conversion without its '%'.
std::size_t conversion_length(std::string_view conversion, std::string_view s) {
    const char kind = conversion.back();
    if (kind == 'c') return s.empty() ? 0 : 1;
    if (kind == 'd' || kind == 'u') {
        const std::size_t sign = kind == 'd' && !s.empty() && s[0] == '-' ? 1 : 0;
        const std::size_t n = digits(s.substr(sign));
        return n == 0 ? 0 : sign + n;
    }
    if (kind == 'f') {  // [+].N: an optional forced sign, then exactly N decimals
        const bool plus = conversion[0] == '+';
        const std::size_t dot = conversion.find('.');
        int decimals = 0;
        std::from_chars(conversion.data() + dot + 1, conversion.data() + conversion.size() - 1, decimals);
        std::size_t at = 0;
        if (plus) {
            if (s.empty() || (s[0] != '+' && s[0] != '-')) return 0;
            at = 1;
        } else if (!s.empty() && s[0] == '-') {
            at = 1;
        }
        const std::size_t whole = digits(s.substr(at));
        if (whole == 0) return 0;
        at += whole;
        if (decimals == 0) return at;
        if (at >= s.size() || s[at] != '.') return 0;
        ++at;
        if (digits(s.substr(at)) < static_cast<std::size_t>(decimals)) return 0;
        at += static_cast<std::size_t>(decimals);
        return at < s.size() && digit(s[at]) ? 0 : at;
    }
    if (kind == 'g') {  // digits, a point, an exponent: checked as a number afterwards
        std::size_t n = 0;
        while (n < s.size() && (digit(s[n]) || s[n] == '.' || s[n] == '-' || s[n] == '+' || (s[n] == 'e' && n > 0)))
            ++n;
        return n;
    }
    return 0;
}

}  // namespace

std::optional<std::vector<std::string_view>> printed_fields(std::string_view format, std::string_view text,
                                                            bool whole) {
    while (!format.empty() && format.back() == '\n') format.remove_suffix(1);
    while (!format.empty() && format.front() == '\n') format.remove_prefix(1);
    std::vector<std::string_view> fields;
    std::size_t f = 0, t = 0;
    while (f < format.size()) {
        if (format[f] != '%' || (f + 1 < format.size() && format[f + 1] == '%')) {
            if (t >= text.size() || text[t] != format[f]) return std::nullopt;
            f += format[f] == '%' ? 2 : 1;
            ++t;
            continue;
        }
        std::size_t end = f + 1;
        while (end < format.size() && std::string_view("cdufgs").find(format[end]) == std::string_view::npos) ++end;
        if (end == format.size()) return std::nullopt;
        const std::string_view conversion = format.substr(f + 1, end - f);
        std::size_t n = 0;
        if (conversion.back() == 's') {  // up to the next fixed character, or the end
            const std::size_t stop = end + 1 < format.size() ? text.find(format[end + 1], t) : text.size();
            n = (stop == std::string_view::npos ? text.size() : stop) - t;
        } else {
            n = conversion_length(conversion, text.substr(t));
            if (n == 0) return std::nullopt;
        }
        fields.push_back(text.substr(t, n));
        t += n;
        f = end + 1;
    }
    if (whole && t != text.size()) return std::nullopt;
    return fields;
}

std::optional<double> field_number(std::string_view field) {
    double v = 0;
    if (!field.empty() && field[0] == '+') field.remove_prefix(1);
    const auto [stop, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
    if (ec != std::errc{} || stop != field.data() + field.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<unsigned long long> field_count(std::string_view field) {
    unsigned long long v = 0;
    const auto [stop, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
    if (ec != std::errc{} || stop != field.data() + field.size()) return std::nullopt;
    return v;
}

}  // namespace vesko::report
