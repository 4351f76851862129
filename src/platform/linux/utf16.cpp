#include "platform/linux/utf16.h"

#include <cstdint>

namespace vesko::platform::linux_hid {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void append_code_point(std::u16string& out, std::uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        std::uint32_t min = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        if (i + extra >= utf8.size()) {  // sequence cut short by the end
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        bool good = true;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto byte = static_cast<unsigned char>(utf8[i + k]);
            if (!is_continuation(byte)) {
                good = false;
                break;
            }
            cp = (cp << 6) | (byte & 0x3F);
        }
        if (!good || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        append_code_point(out, cp);
        i += extra + 1;
    }
    return out;
}

std::u16string ascii_to_utf16(std::string_view ascii) {
    std::u16string out;
    out.reserve(ascii.size());
    for (char c : ascii) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace vesko::platform::linux_hid
