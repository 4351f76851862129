#pragma once

// The backend of the system this program was built for: Win32 on Windows,
// hidraw + sysfs on Linux. Each backend library defines the factory; a
// program links exactly one of them.

#include "platform/platform.h"

#include <memory>

namespace vesko::platform {

std::unique_ptr<Platform> make_native_platform();

}  // namespace vesko::platform
