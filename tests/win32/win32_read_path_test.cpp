// The overlapped read path of the Windows backend on a real overlapped
// handle: the client end of a message-mode named pipe that plays the module.

#include "platform/win32/win32_platform.h"
#include "pipe_module.h"

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

namespace vesko::platform {
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

TEST_F(Win32ReadPath, AReportAlreadyWaitingCompletesTheReadAtOnce) {
    const auto report = numbered_report(64, 0x20);
    ASSERT_TRUE(module_->send(report));

    const ReadIssue issue = issue_read();
    ASSERT_EQ(issue.status, ReadStatus::Completed);
    EXPECT_EQ(issue.bytes, 64u);
    EXPECT_EQ(received(issue.bytes), report);
}

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

TEST_F(Win32ReadPath, APendingReadFinishesWhenTheReportArrives) {
    const ReadIssue issue = issue_read();
    ASSERT_EQ(issue.status, ReadStatus::Pending);
    EXPECT_EQ(issue.error, kErrorIoPending);

    EXPECT_EQ(platform_.wait(event_, 0), WaitStatus::TimedOut) << "the event was signalled before any report";

    const auto report = numbered_report(64, 0x80);
    ASSERT_TRUE(module_->send(report));
    ASSERT_EQ(platform_.wait(event_, kLongWaitMs), WaitStatus::Finished);

    const ReadOutcome outcome = platform_.read_result(device_, record_, false);
    ASSERT_TRUE(outcome.ok) << "error " << outcome.error;
    EXPECT_EQ(outcome.bytes, 64u);
    EXPECT_EQ(received(outcome.bytes), report);
}

TEST_F(Win32ReadPath, AWaitThatTimesOutIsCancelledAndTheNextReadStillWorks) {
    ASSERT_EQ(issue_read().status, ReadStatus::Pending);
    EXPECT_EQ(platform_.wait(event_, 30), WaitStatus::TimedOut);

    platform_.cancel_read(device_, record_);
    const auto start = Clock::now();
    const ReadOutcome cancelled = platform_.read_result(device_, record_, true);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(cancelled.ok);
    EXPECT_EQ(cancelled.error, kErrorOperationAborted);

    // The cancelled read took nothing: the next report goes to the next read whole.
    const auto report = numbered_report(64, 0x01);
    ASSERT_TRUE(module_->send(report));
    const ReadIssue issue = issue_read();
    ASSERT_EQ(issue.status, ReadStatus::Completed);
    EXPECT_EQ(received(issue.bytes), report);
}

TEST_F(Win32ReadPath, CancellingEveryReadFromAnotherThreadEndsAPendingReadPromptly) {
    count_process_handles_ = false;
    std::atomic<bool> pending{false};
    WaitStatus waited = WaitStatus::TimedOut;
    ReadOutcome outcome;
    outcome.ok = true;
    Clock::duration blocked{};

    std::thread reader([&] {
        if (issue_read().status != ReadStatus::Pending) {
            return;
        }
        pending = true;
        const auto start = Clock::now();
        waited = platform_.wait(event_, kLongWaitMs);
        blocked = Clock::now() - start;
        outcome = platform_.read_result(device_, record_, false);
    });

    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!pending && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the reader enter its wait
    platform_.cancel_all_reads(device_);
    reader.join();

    ASSERT_TRUE(pending.load()) << "the read did not go pending";
    EXPECT_EQ(waited, WaitStatus::Finished);
    EXPECT_LT(blocked, std::chrono::seconds(2));
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, kErrorOperationAborted);
}

TEST_F(Win32ReadPath, TheFarEndClosedDuringAPendingReadFailsItWithACode) {
    ASSERT_EQ(issue_read().status, ReadStatus::Pending);
    module_->hang_up();

    ASSERT_EQ(platform_.wait(event_, kLongWaitMs), WaitStatus::Finished);
    const ReadOutcome outcome = platform_.read_result(device_, record_, false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error, 0u);
    EXPECT_NE(outcome.error, kErrorIoPending);
}

TEST_F(Win32ReadPath, AReadIssuedAfterTheFarEndClosedFailsWithACode) {
    module_->hang_up();

    const ReadIssue issue = issue_read();
    // Either at once, or as a pending read that finishes badly.
    if (issue.status == ReadStatus::Pending) {
        ASSERT_EQ(platform_.wait(event_, kLongWaitMs), WaitStatus::Finished);
        const ReadOutcome outcome = platform_.read_result(device_, record_, false);
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.error, 0u);
    } else {
        EXPECT_EQ(issue.status, ReadStatus::Failed);
        EXPECT_NE(issue.error, 0u);
        EXPECT_NE(issue.error, kErrorIoPending);
    }
}

TEST_F(Win32ReadPath, TheReadEventIsManualResetAndStartsClear) {
    const Handle event = platform_.create_event();
    ASSERT_NE(event, kNoHandle);
    EXPECT_EQ(platform_.wait(event, 0), WaitStatus::TimedOut);

    ASSERT_TRUE(SetEvent(reinterpret_cast<HANDLE>(event)));
    EXPECT_EQ(platform_.wait(event, 0), WaitStatus::Finished);
    EXPECT_EQ(platform_.wait(event, 0), WaitStatus::Finished) << "a wait cleared the event";

    platform_.reset_event(event);
    EXPECT_EQ(platform_.wait(event, 0), WaitStatus::TimedOut);
    platform_.close(event);
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

TEST(Win32Sleep, SleepPausesTheThread) {
    Win32Platform platform;
    const auto start = Clock::now();
    platform.sleep_ms(30);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(25));
}

}  // namespace
}  // namespace vesko::platform
