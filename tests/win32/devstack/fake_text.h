#pragma once

// Small text and buffer helpers of the replacement DLLs, beside the device
// texts they share with the product (platform/device_text.h).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/device_text.h"

namespace vesko::devstack {

inline std::string hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

inline std::u16string from_wide(const wchar_t* text) {
    std::u16string out;
    for (; *text != L'\0'; ++text) out.push_back(static_cast<char16_t>(*text));
    return out;
}

// The part of a caller's buffer past what a call wrote is the callee's to
// use: it is filled with a pattern, so a caller that states a larger buffer
// than it has, or reads past the text, is caught rather than lucky.
inline void scribble(unsigned char* bytes, std::size_t count) {
    if (count != 0) std::memset(bytes, 0xCD, count);
}

}  // namespace vesko::devstack
