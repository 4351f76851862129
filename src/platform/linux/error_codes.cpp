#include "platform/linux/error_codes.h"

#include <cerrno>

#include "platform/platform.h"

namespace vesko::platform::linux_hid {

std::uint32_t error_from_errno(int err) {
    switch (err) {
        case ENODEV:
        case EIO:
        case ENXIO:
        case ESHUTDOWN:
        case ENOTCONN:
        case ECONNRESET:
        case EPIPE: return kErrorDeviceNotConnected;
        case EBADF: return kErrorInvalidHandle;
        case EINVAL: return kErrorInvalidParameter;
        case EFAULT: return kErrorNoAccess;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EACCES:
        case EPERM: return kErrorAccessDenied;
        case ECANCELED: return kErrorOperationAborted;
        default: return kErrorGenFailure;
    }
}

}  // namespace vesko::platform::linux_hid
