#include "discovery/wide_text.h"

#include <cstdint>

namespace vesko {

std::u16string widen(std::string_view narrow) {
    std::u16string out;
    out.reserve(narrow.size());
    for (char c : narrow) {
        out.push_back(static_cast<char16_t>(static_cast<std::int16_t>(static_cast<signed char>(c))));
    }
    return out;
}

std::string narrow(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (char16_t u : wide) out.push_back(static_cast<char>(static_cast<std::uint8_t>(u & 0xFF)));
    return out;
}

std::u16string_view up_to_nul(std::u16string_view buffer) {
    const auto nul = buffer.find(u'\0');
    return nul == std::u16string_view::npos ? buffer : buffer.substr(0, nul);
}

std::string to_utf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace vesko
