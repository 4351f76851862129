// The overlapped read path of the Windows backend on a real overlapped
// handle: the client end of a message-mode named pipe that plays the module.

#include "pipe_module.h"
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace vesko::platform::win32 {
namespace {

using testing::numbered_report;
using testing::PipeModule;
using testing::process_handle_count;

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kReportBytes = 64;
constexpr std::uint32_t kLongWaitMs = 10000;  // only reached when something is broken

class Win32ReadPath : public ::testing::Test {
protected:
    void SetUp() override {
        handles_before_ = process_handle_count();
        module_.emplace();
        ASSERT_TRUE(module_->ok()) << "named pipe not created, error " << GetLastError();
        device_ = platform_.open_device(module_->path());
        ASSERT_NE(device_, kInvalidHandle);
        ASSERT_TRUE(module_->accept(device_));
        event_ = platform_.create_event();
        ASSERT_NE(event_, kNoHandle);
    }

    void TearDown() override {
        platform_.close(device_);
        platform_.close(event_);
        EXPECT_FALSE(is_open(device_)) << "the device handle is still open";
        EXPECT_FALSE(is_open(event_)) << "the event handle is still open";
        module_->hang_up();
        // The process-wide count, where no thread was started: the thread
        // library keeps handles of its own for the records of ended threads.
        if (handles_before_ != 0 && count_process_handles_) {
            EXPECT_EQ(process_handle_count(), handles_before_) << "a handle was left open";
        }
    }

    static bool is_open(Handle handle) {
        DWORD flags = 0;
        return handle != kInvalidHandle && handle != kNoHandle &&
               GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags) != 0;
    }

    ReadIssue issue_read() {
        platform_.reset_event(event_);
        buffer_.fill(0xEE);
        return platform_.begin_read(device_, event_, record_, buffer_.data(), kReportBytes);
    }

    std::vector<std::uint8_t> received(std::uint32_t bytes) const {
        return {buffer_.begin(), buffer_.begin() + std::min<std::uint32_t>(bytes, kReportBytes)};
    }

    unsigned long handles_before_ = 0;
    bool count_process_handles_ = true;
    Win32Platform platform_;
    std::optional<PipeModule> module_;
    Handle device_ = kInvalidHandle;
    Handle event_ = kNoHandle;
    OverlappedRecord record_;
    std::array<std::uint8_t, kReportBytes> buffer_{};
};

TEST_F(Win32ReadPath, OneReadReturnsOneShortReport) {
    const auto first = numbered_report(20, 0x20);
    const auto second = numbered_report(52, 0x40);
    ASSERT_TRUE(module_->send(first));
    ASSERT_TRUE(module_->send(second));

    ReadIssue issue = issue_read();
    ASSERT_EQ(issue.status, ReadStatus::Completed);
    EXPECT_EQ(received(issue.bytes), first);
    EXPECT_EQ(buffer_[20], 0xEE) << "the read wrote past its report";

    issue = issue_read();
    ASSERT_EQ(issue.status, ReadStatus::Completed);
    EXPECT_EQ(received(issue.bytes), second);
}

TEST_F(Win32ReadPath, ThePipeIsNoHidDevice) {
    // The HID queries fail on it: no attributes, and a serial buffer left zero.
    EXPECT_FALSE(platform_.attributes(device_).has_value());
    const std::u16string serial = platform_.serial_number(device_);
    EXPECT_EQ(serial, std::u16string(kSerialNumberUnits, u'\0'));
}

TEST(Win32Handles, OpeningAMissingPathGivesTheInvalidHandle) {
    Win32Platform platform;
    const unsigned long before = process_handle_count();
    EXPECT_EQ(platform.open_device(u"\\\\.\\pipe\\rotabench-nobody-listens"), kInvalidHandle);
    EXPECT_EQ(platform.open_device(u""), kInvalidHandle);
    if (before != 0) {
        EXPECT_EQ(process_handle_count(), before);
    }
}

TEST(Win32Handles, ClosingTheNoDeviceValuesDoesNothing) {
    Win32Platform platform;
    const unsigned long before = process_handle_count();
    platform.close(kInvalidHandle);
    platform.close(kNoHandle);
    if (before != 0) {
        EXPECT_EQ(process_handle_count(), before);
    }
    // The process itself is untouched: it still runs and can open handles.
    const Handle event = platform.create_event();
    EXPECT_NE(event, kNoHandle);
    platform.close(event);
}

TEST(Win32Handles, TheHandleCountIsAvailable) {
    // The leak checks above depend on it.
    EXPECT_GT(process_handle_count(), 0u) << "the leak checks would see nothing";
}

}  // namespace
}  // namespace vesko::platform::win32
