#pragma once

// The error codes a failed read reports, in the Windows numbering the reader
// prints. Everything the hidraw node can say about a vanished device (the
// kernel answers EIO once the USB device is unplugged, ENODEV on some paths)
// becomes "device not connected".

#include <cstdint>

#include "platform/platform.h"

namespace vesko::platform::linux_hid {

inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kErrorIoIncomplete = 996;
inline constexpr std::uint32_t kErrorNoAccess = 998;

// errno of a failed read() or poll() -> Windows error code.
std::uint32_t error_from_errno(int err);

}  // namespace vesko::platform::linux_hid
