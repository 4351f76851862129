#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <chrono>
#include <thread>
#include <vector>

#include "bench_tree.h"
#include "platform/linux/error_codes.h"
#include "platform/linux/linux_platform.h"
#include "pty_node.h"

namespace vesko::platform::linux_hid {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::vector<std::uint8_t> report(std::uint8_t fill, std::size_t size = 64) {
    std::vector<std::uint8_t> bytes(size, fill);
    bytes[0] = 0x20;
    return bytes;
}

class OverlappedReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!node.ok()) {
            GTEST_SKIP() << "no pseudo-terminal available to stand in for a hidraw node";
        }
        device = platform.open_device(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw0");
        ASSERT_NE(device, kInvalidHandle);
        event = platform.create_event();
        ASSERT_NE(event, kNoHandle);
    }
    void TearDown() override {
        if (device != kInvalidHandle) {
            platform.close(device);
        }
        if (event != kNoHandle) {
            platform.close(event);
        }
    }

    ReadIssue issue() {
        platform.reset_event(event);
        return platform.begin_read(device, event, record, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    }

    testing::BenchTree bench;
    testing::PtyNode node{bench.fake.dev() / "hidraw0"};
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev()};
    Handle device = kInvalidHandle;
    Handle event = kNoHandle;
    OverlappedRecord record;
    std::array<std::uint8_t, 64> buffer{};
};

TEST_F(OverlappedReadTest, ReportAlreadyQueuedCompletesAtOnceAndSetsTheEvent) {
    ASSERT_TRUE(node.send(report(0x11)));
    std::this_thread::sleep_for(milliseconds(20));  // let the terminal layer pass it on
    const ReadIssue result = issue();
    ASSERT_EQ(result.status, ReadStatus::Completed);
    EXPECT_EQ(result.bytes, 64u);
    EXPECT_EQ(buffer[0], 0x20);
    EXPECT_EQ(buffer[63], 0x11);
    EXPECT_EQ(platform.wait(event, 0), WaitStatus::Finished);
    platform.reset_event(event);
    EXPECT_EQ(platform.wait(event, 0), WaitStatus::TimedOut);
}

TEST_F(OverlappedReadTest, PendingReadFinishesWhenTheReportArrives) {
    ASSERT_EQ(issue().status, ReadStatus::Pending);
    std::thread sender([&] {
        std::this_thread::sleep_for(milliseconds(30));
        node.send(report(0x22));
    });
    const auto start = Clock::now();
    EXPECT_EQ(platform.wait(event, 5000), WaitStatus::Finished);
    EXPECT_LT(Clock::now() - start, milliseconds(1000));
    sender.join();
    std::this_thread::sleep_for(milliseconds(10));  // the whole report, not a first fragment
    const ReadOutcome outcome = platform.read_result(device, record, false);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.bytes, 64u);
    EXPECT_EQ(buffer[63], 0x22);

    // The next read starts afresh.
    EXPECT_EQ(issue().status, ReadStatus::Pending);
}

TEST_F(OverlappedReadTest, SilenceTimesOutAndTheCancelledReadEndsAborted) {
    ASSERT_EQ(issue().status, ReadStatus::Pending);
    const auto start = Clock::now();
    EXPECT_EQ(platform.wait(event, 60), WaitStatus::TimedOut);
    EXPECT_GE(Clock::now() - start, milliseconds(55));

    platform.cancel_read(device, record);
    const ReadOutcome outcome = platform.read_result(device, record, true);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, kErrorOperationAborted);

    // A report that comes later belongs to the next read.
    ASSERT_TRUE(node.send(report(0x33)));
    std::this_thread::sleep_for(milliseconds(20));
    const ReadIssue next = issue();
    ASSERT_EQ(next.status, ReadStatus::Completed);
    EXPECT_EQ(buffer[63], 0x33);
}

TEST_F(OverlappedReadTest, CancelAllFromAnotherThreadWakesTheWaitPromptly) {
    ASSERT_EQ(issue().status, ReadStatus::Pending);
    std::thread owner([&] {
        std::this_thread::sleep_for(milliseconds(50));
        platform.cancel_all_reads(device);
    });
    const auto start = Clock::now();
    const WaitStatus status = platform.wait(event, 10000);
    const auto waited = Clock::now() - start;
    owner.join();
    EXPECT_EQ(status, WaitStatus::Finished);
    EXPECT_LT(waited, milliseconds(1000));
    const ReadOutcome outcome = platform.read_result(device, record, false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, kErrorOperationAborted);
}

TEST_F(OverlappedReadTest, CancelWithNoReadInFlightDoesNotTouchTheNextRead) {
    platform.cancel_all_reads(device);
    platform.cancel_read(device, record);
    ASSERT_EQ(issue().status, ReadStatus::Pending);
    EXPECT_EQ(platform.wait(event, 20), WaitStatus::TimedOut);
    // A record of an older read cancels nothing.
    OverlappedRecord stale;
    platform.cancel_read(device, stale);
    EXPECT_EQ(platform.wait(event, 20), WaitStatus::TimedOut);
    EXPECT_EQ(platform.read_result(device, stale, false).error, kErrorInvalidParameter);
    // Still in flight, nothing arrived: not finished.
    const ReadOutcome incomplete = platform.read_result(device, record, false);
    EXPECT_FALSE(incomplete.ok);
    EXPECT_EQ(incomplete.error, kErrorIoIncomplete);
}

TEST_F(OverlappedReadTest, OneReadPerHandleAtATime) {
    ASSERT_EQ(issue().status, ReadStatus::Pending);
    OverlappedRecord second;
    std::array<std::uint8_t, 64> other{};
    const ReadIssue busy = platform.begin_read(device, event, second, other.data(), 64);
    EXPECT_EQ(busy.status, ReadStatus::Failed);
    EXPECT_EQ(busy.error, kErrorBusy);
}

TEST_F(OverlappedReadTest, DeviceLeavingFailsThePendingReadAndTheNextOne) {
    ASSERT_EQ(issue().status, ReadStatus::Pending);
    std::thread unplug([&] {
        std::this_thread::sleep_for(milliseconds(30));
        node.unplug();
    });
    const auto start = Clock::now();
    EXPECT_EQ(platform.wait(event, 5000), WaitStatus::Finished);
    EXPECT_LT(Clock::now() - start, milliseconds(1000));
    unplug.join();
    const ReadOutcome outcome = platform.read_result(device, record, false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, kErrorDeviceNotConnected);

    const ReadIssue again = issue();
    EXPECT_EQ(again.status, ReadStatus::Failed);
    EXPECT_EQ(again.error, kErrorDeviceNotConnected);
}

TEST_F(OverlappedReadTest, ClosingTheDeviceWakesAWaitAndReleasesIt) {
    ASSERT_EQ(issue().status, ReadStatus::Pending);
    std::thread closer([&] {
        std::this_thread::sleep_for(milliseconds(30));
        platform.close(device);
    });
    const auto start = Clock::now();
    EXPECT_EQ(platform.wait(event, 5000), WaitStatus::Finished);
    EXPECT_LT(Clock::now() - start, milliseconds(1000));
    closer.join();
    EXPECT_EQ(platform.read_result(device, record, false).error, kErrorInvalidHandle);
    device = kInvalidHandle;
    // The event no longer watches the closed device.
    platform.reset_event(event);
    EXPECT_EQ(platform.wait(event, 10), WaitStatus::TimedOut);
}

TEST_F(OverlappedReadTest, UnknownHandlesFailWithoutHarm) {
    OverlappedRecord spare;
    const ReadIssue no_device = platform.begin_read(kInvalidHandle, event, spare, buffer.data(), 64);
    EXPECT_EQ(no_device.status, ReadStatus::Failed);
    const ReadIssue no_event = platform.begin_read(device, kNoHandle, spare, buffer.data(), 64);
    EXPECT_EQ(no_event.status, ReadStatus::Failed);
    EXPECT_EQ(platform.wait(kNoHandle, 10), WaitStatus::Finished);  // a failed wait
    EXPECT_FALSE(platform.read_result(kInvalidHandle, spare, false).ok);
    platform.cancel_all_reads(kInvalidHandle);
    platform.reset_event(device);  // a device is no event: ignored
    EXPECT_EQ(platform.wait(event, 0), WaitStatus::TimedOut);
}

std::size_t open_descriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST_F(OverlappedReadTest, ClosingEverythingReleasesEveryDescriptor) {
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

TEST(SleepTest, SleepsAboutTheAskedTime) {
    testing::FakeSystem fake;
    LinuxPlatform platform(fake.sys(), fake.dev());
    const auto start = Clock::now();
    platform.sleep_ms(15);
    EXPECT_GE(Clock::now() - start, milliseconds(15));
}

}  // namespace
}  // namespace vesko::platform::linux_hid
