#include "platform/device_text.h"

#include <cstdio>

namespace vesko::platform {
namespace {

template <typename Char>
std::basic_string<Char> shifted(std::basic_string_view<Char> text, Char from, Char to) {
    std::basic_string<Char> out(text);
    for (Char& c : out) {
        if (c >= from && c <= static_cast<Char>(from + 25)) c = static_cast<Char>(c - from + to);
    }
    return out;
}

std::string interface_part(std::optional<std::uint8_t> interface_number, HexCase letters) {
    return interface_number ? "&MI_" + hex_digits(*interface_number, 2, letters) : std::string();
}

}  // namespace

std::u16string ascii_upper(std::u16string_view text) { return shifted<char16_t>(text, u'a', u'A'); }
std::u16string ascii_lower(std::u16string_view text) { return shifted<char16_t>(text, u'A', u'a'); }
std::string ascii_upper(std::string_view text) { return shifted<char>(text, 'a', 'A'); }

std::string hex_digits(unsigned value, int digits, HexCase letters) {
    char text[16];
    std::snprintf(text, sizeof text, letters == HexCase::Upper ? "%0*X" : "%0*x", digits, value);
    return text;
}

std::u16string_view up_to_nul(std::u16string_view buffer) {
    const auto nul = buffer.find(u'\0');
    return nul == std::u16string_view::npos ? buffer : buffer.substr(0, nul);
}

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

std::string to_utf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
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

std::string vid_pid(std::uint16_t vendor, std::uint16_t product, HexCase letters) {
    return "VID_" + hex_digits(vendor, 4, letters) + "&PID_" + hex_digits(product, 4, letters);
}

std::string usb_device_id(std::uint16_t vendor, std::uint16_t product, std::string_view instance, HexCase letters) {
    return "USB\\" + vid_pid(vendor, product, letters) + "\\" + std::string(instance);
}

std::string usb_interface_id(std::uint16_t vendor, std::uint16_t product, std::uint8_t interface_number,
                             std::string_view instance, HexCase letters) {
    return "USB\\" + vid_pid(vendor, product, letters) + interface_part(interface_number, letters) + "\\" +
           std::string(instance);
}

std::string hid_device_id(std::uint16_t vendor, std::uint16_t product, std::optional<std::uint8_t> interface_number,
                          std::string_view instance, HexCase letters) {
    return "HID\\" + vid_pid(vendor, product, letters) + interface_part(interface_number, letters) + "\\" +
           std::string(instance);
}

std::string hid_interface_path(std::uint16_t vendor, std::uint16_t product,
                               std::optional<std::uint8_t> interface_number, std::string_view rest) {
    return "\\\\?\\hid#vid_" + hex_digits(vendor, 4, HexCase::Lower) + "&pid_" +
           hex_digits(product, 4, HexCase::Lower) +
           (interface_number ? "&mi_" + hex_digits(*interface_number, 2, HexCase::Lower) : std::string()) + "#" +
           std::string(rest);
}

}  // namespace vesko::platform
