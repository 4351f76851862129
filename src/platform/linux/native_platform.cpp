#include "platform/native_platform.h"

#include "platform/linux/linux_platform.h"

namespace vesko::platform {

std::unique_ptr<Platform> make_native_platform() { return std::make_unique<linux_hid::LinuxPlatform>("/sys", "/dev"); }

}  // namespace vesko::platform
