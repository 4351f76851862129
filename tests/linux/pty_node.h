#pragma once

// A pseudo-terminal in raw mode standing in for a hidraw node where a
// character device is needed: the backend opens the slave end through a /dev
// entry that links to it, and finds it a character node with numbers of its
// own. Closing the master is the device leaving the bus: the slave is hung
// up and reads end of file, where hidraw's fail with EIO. A terminal is a
// byte stream, so reports sent close together run into one another: where
// one report per read matters, ReportNode stands in.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace vesko::testing {

class PtyNode {
public:
    // Links `dev_entry` to the slave; check ok() before use.
    explicit PtyNode(const std::filesystem::path& dev_entry) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            return;
        }
        const char* slave_name = ::ptsname(master_);
        if (slave_name == nullptr) {
            return;
        }
        const int slave = ::open(slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0) {
            return;
        }
        termios raw{};
        const bool raw_ok =
            ::tcgetattr(slave, &raw) == 0 && (::cfmakeraw(&raw), ::tcsetattr(slave, TCSANOW, &raw) == 0);
        struct stat st {};
        if (::fstat(slave, &st) == 0) {
            dev_numbers_ = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        }
        ::close(slave);
        std::error_code ec;
        std::filesystem::remove(dev_entry, ec);
        std::filesystem::create_symlink(slave_name, dev_entry, ec);
        ok_ = raw_ok && !ec;
    }
    PtyNode(const PtyNode&) = delete;
    PtyNode& operator=(const PtyNode&) = delete;
    ~PtyNode() { unplug(); }

    bool ok() const { return ok_; }

    // "major:minor" of the slave, what sysfs's `dev` attribute of the node says.
    const std::string& dev_numbers() const { return dev_numbers_; }

    bool send(const std::vector<std::uint8_t>& report) {
        return ::write(master_, report.data(), report.size()) == static_cast<ssize_t>(report.size());
    }

    void unplug() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    bool ok_ = false;
    std::string dev_numbers_;
};

}  // namespace vesko::testing
