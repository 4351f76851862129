#pragma once

// A hidraw node as the backend reads it: one input report per read(), a read
// shorter than its report drops the rest, as hidraw does. The two ends of a
// SOCK_SEQPACKET socket pair keep those boundaries; the backend gets its end
// through the platform's node opener, since a socket cannot be opened by
// path. The /dev entry is an empty file that stands for the node's place.
// Unplugging closes the module's end and removes the entry: a read then ends
// with end of file, where the kernel's node fails with EIO; the backend
// takes both for a device gone (the EIO itself is checked on the master end
// of a pseudo-terminal, which fails so once its slave is closed).

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sockios.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"

namespace vesko::testing {

class ReportNode {
public:
    explicit ReportNode(std::filesystem::path dev_entry) : entry_(std::move(dev_entry)) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
            return;
        }
        module_ = ends[0];
        node_ = ends[1];
        std::ofstream(entry_).flush();
        ok_ = std::filesystem::exists(entry_);
    }
    ReportNode(const ReportNode&) = delete;
    ReportNode& operator=(const ReportNode&) = delete;
    ~ReportNode() {
        unplug();
        if (node_ >= 0) ::close(node_);
    }

    bool ok() const { return ok_; }

    // Opens this node's entry as a copy of the node's end, and every other
    // path with open(2).
    platform::linux_hid::LinuxPlatform::NodeOpen opener() const {
        return [this](const char* path, int flags) {
            if (path != entry_.string()) return ::open(path, flags);
            if (node_ < 0 || !std::filesystem::exists(entry_)) {
                errno = ENOENT;
                return -1;
            }
            const int fd = ::fcntl(node_, F_DUPFD_CLOEXEC, 0);
            if (fd >= 0 && (flags & O_NONBLOCK) != 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            return fd;
        };
    }

    bool send(const std::vector<std::uint8_t>& report) {
        return module_ >= 0 &&
               ::send(module_, report.data(), report.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(report.size());
    }

    // True once the backend has read every report sent, within `limit`.
    bool drained_within(std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int queued = 0;
            if (::ioctl(node_, SIOCINQ, &queued) != 0) return false;
            if (queued == 0) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
            ::usleep(1000);
        }
    }

    void unplug() {
        if (module_ >= 0) {
            ::close(module_);
            module_ = -1;
            std::error_code ec;
            std::filesystem::remove(entry_, ec);
        }
    }

private:
    std::filesystem::path entry_;
    int module_ = -1;  // the module's end: what it sends
    int node_ = -1;    // the node's end, copied for every open
    bool ok_ = false;
};

}  // namespace vesko::testing
