#pragma once

// The USB identities of the two devices discovery looks for: the tracking
// module and the headset MCU that shares a hub with the right one.

#include <cstdint>
#include <string_view>

namespace vesko {

inline constexpr std::uint16_t kModuleVendorId = 0x28DE;
inline constexpr std::uint16_t kModuleProductId = 0x2300;
inline constexpr std::uint16_t kMcuVendorId = 0x35BD;
inline constexpr std::uint16_t kMcuProductId = 0x0101;

// Enumerator path whose device nodes are the headset MCUs.
inline constexpr std::u16string_view kMcuEnumerator = u"USB\\VID_35BD&PID_0101";
// Instance-ID prefix of the module's USB device node (interface nodes continue
// with "&MI_" instead of the backslash).
inline constexpr std::u16string_view kModuleUsbIdPrefix = u"USB\\VID_28DE&PID_2300\\";

}  // namespace vesko
