#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vesko::platform::linux_hid
