#pragma once

// Texts of the device model that discovery and every backend share: letter
// case as Windows compares device texts, hex digits, the text before a NUL,
// narrow and wide forms without any code page, and the forms Windows gives
// device instance IDs and HID device paths.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesko::platform {

// Letter case as the runtime's towupper/towlower see device texts in the
// default locale: only the ASCII letters change, every other unit stays.
std::u16string ascii_upper(std::u16string_view text);
std::u16string ascii_lower(std::u16string_view text);
std::string ascii_upper(std::string_view text);

// `value` in exactly `digits` hex digits (more when it does not fit).
enum class HexCase { Upper, Lower };
std::string hex_digits(unsigned value, int digits, HexCase letters = HexCase::Upper);

// The text up to the first NUL of a buffer the platform filled; the whole
// buffer when it holds no NUL.
std::u16string_view up_to_nul(std::u16string_view buffer);

// Narrow to wide: each byte widened as a signed 8-bit value, so ASCII maps to
// itself. No code-page conversion.
std::u16string widen(std::string_view narrow);

// Wide to narrow: the low 8 bits of each unit. No code-page conversion.
std::string narrow(std::u16string_view wide);

// UTF-8 form of a UTF-16 text, for printing serial numbers and paths;
// unpaired surrogates become U+FFFD.
std::string to_utf8(std::u16string_view wide);

// --- the forms of Windows' device texts ------------------------------------
// Windows names a USB device "USB\VID_vvvv&PID_pppp\<instance>", where the
// instance is the device's serial number when it has a usable one; each
// interface of a composite device "USB\VID_vvvv&PID_pppp&MI_nn\<instance>";
// the HID device the class driver makes of an interface
// "HID\VID_vvvv&PID_pppp&MI_nn\<instance>" (no "&MI_nn" part for a device
// with one interface); and the HID interface's device path
// "\\?\hid#vid_vvvv&pid_pppp&mi_nn#<rest>", in lower case. The hex digits of
// an instance ID are upper case; `letters` lets a caller model a system that
// reports them in lower case.

std::string vid_pid(std::uint16_t vendor, std::uint16_t product, HexCase letters = HexCase::Upper);
std::string usb_device_id(std::uint16_t vendor, std::uint16_t product, std::string_view instance,
                          HexCase letters = HexCase::Upper);
std::string usb_interface_id(std::uint16_t vendor, std::uint16_t product, std::uint8_t interface_number,
                             std::string_view instance, HexCase letters = HexCase::Upper);
std::string hid_device_id(std::uint16_t vendor, std::uint16_t product, std::optional<std::uint8_t> interface_number,
                          std::string_view instance, HexCase letters = HexCase::Upper);
std::string hid_interface_path(std::uint16_t vendor, std::uint16_t product,
                               std::optional<std::uint8_t> interface_number, std::string_view rest);

}  // namespace vesko::platform
