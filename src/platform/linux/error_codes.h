#pragma once

// How a failed read() or poll() on a hidraw node becomes one of the seam's
// error codes (platform.h), in the Windows numbering the reader prints.
// Everything the hidraw node can say about a vanished device (the
// kernel answers EIO once the USB device is unplugged, ENODEV on some paths)
// becomes "device not connected".

#include <cstdint>

#include "platform/platform.h"

namespace vesko::platform::linux_hid {

// errno of a failed read() or poll() -> Windows error code.
std::uint32_t error_from_errno(int err);

}  // namespace vesko::platform::linux_hid
