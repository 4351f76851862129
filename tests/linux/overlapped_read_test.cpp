#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <array>
#include <filesystem>

#include "bench_tree.h"
#include "platform/linux/linux_platform.h"
#include "pty_node.h"

namespace vesko::platform::linux_hid {
namespace {

std::size_t open_descriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// What each read does is the contract suite's (tests/contract); here, that
// the backend's descriptors all go with the handles.
TEST(OverlappedRead, ClosingEverythingReleasesEveryDescriptor) {
    testing::BenchTree bench;
    testing::PtyNode node{bench.fake.dev() / "hidraw0"};
    if (!node.ok()) GTEST_SKIP() << "no pseudo-terminal available to stand in for a hidraw node";
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev()};
    const std::size_t before = open_descriptors();
    const Handle second = platform.open_device(u"#hidraw0");
    const Handle second_event = platform.create_event();
    ASSERT_NE(second, kInvalidHandle);
    ASSERT_NE(second_event, kNoHandle);
    EXPECT_EQ(open_descriptors(), before + 2);
    OverlappedRecord pending;
    std::array<std::uint8_t, 64> bytes{};
    ASSERT_EQ(platform.begin_read(second, second_event, pending, bytes.data(), 64).status, ReadStatus::Pending);
    // Closed with the read in flight, event first: neither keeps the other alive.
    platform.close(second_event);
    platform.close(second);
    EXPECT_EQ(open_descriptors(), before);
}

// The module unplugged: the kernel fails reads of its node with EIO, then
// takes the node away. The read in flight and the next one end as "device
// not connected", and the path no longer opens. The master end of a
// pseudo-terminal reads EIO once its slave is closed: the backend gets it
// through its node opener, and the test holds the slave as the module.
TEST(OverlappedRead, AnUnpluggedNodeFailsWithEioAndIsGone) {
    testing::BenchTree bench;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char* slave_name =
        master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master) : nullptr;
    int module = slave_name ? ::open(slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (module < 0) GTEST_SKIP() << "no pseudo-terminal available to stand in for a hidraw node";
    const std::string entry = (bench.fake.dev() / "hidraw0").string();
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev(), [&](const char* path, int flags) {
                               if (path != entry) return ::open(path, flags);
                               if (!std::filesystem::exists(entry)) return errno = ENOENT, -1;
                               const int fd = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
                               if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
                               return fd;
                           }};
    const Handle device = platform.open_device(u"#hidraw0");
    const Handle event = platform.create_event();
    ASSERT_NE(device, kInvalidHandle);
    OverlappedRecord record;
    std::array<std::uint8_t, 64> bytes{};
    ASSERT_EQ(platform.begin_read(device, event, record, bytes.data(), 64).status, ReadStatus::Pending);

    ::close(module);
    bench.fake.remove_usb_device(bench.module_a);
    EXPECT_EQ(platform.wait(event, 5000), WaitStatus::Finished);
    const ReadOutcome pending = platform.read_result(device, record, false);
    EXPECT_FALSE(pending.ok);
    EXPECT_EQ(pending.error, kErrorDeviceNotConnected);
    const ReadIssue next = platform.begin_read(device, event, record, bytes.data(), 64);
    EXPECT_EQ(next.status, ReadStatus::Failed);
    EXPECT_EQ(next.error, kErrorDeviceNotConnected);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(entry)));
    EXPECT_EQ(platform.open_device(u"#hidraw0"), kInvalidHandle);
    platform.close(event);
    platform.close(device);
    ::close(master);
}

}  // namespace
}  // namespace vesko::platform::linux_hid
