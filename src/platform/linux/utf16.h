#pragma once

// The kernel hands USB string descriptors (UTF-16 on the wire) to user space
// as UTF-8; this turns them back into the UTF-16 units the device sent.

#include <string>
#include <string_view>

namespace vesko::platform::linux_hid {

// Malformed sequences become U+FFFD, one per offending byte.
std::u16string utf8_to_utf16(std::string_view utf8);

// ASCII text widened unit by unit (identifiers this backend builds itself).
std::u16string ascii_to_utf16(std::string_view ascii);

}  // namespace vesko::platform::linux_hid
