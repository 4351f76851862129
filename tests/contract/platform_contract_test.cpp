// The read path of the platform seam, as platform.h promises it, on the
// backend of the rig this program instantiates the suite with.

#include "contract/platform_contract.h"

#include <array>
#include <chrono>
#include <thread>

namespace vesko::contract {
namespace {

using Clock = std::chrono::steady_clock;
using platform::Handle;
using platform::OverlappedRecord;
using platform::ReadStatus;
using platform::WaitStatus;
using std::chrono::milliseconds;

std::vector<std::uint8_t> report(std::uint8_t fill) {
    std::vector<std::uint8_t> bytes(64, fill);
    bytes[0] = 0x20;
    return bytes;
}

#define SKIP_UNLESS_READY(rig) \
    if (!(rig)->ready()) GTEST_SKIP() << "the rig cannot be set up on this machine"

// A rig with the module open and a read event made.
struct Open {
    explicit Open(ContractRig& r) : rig(r), p(r.platform()), device(r.open_module()), event(p.create_event()) {}
    ~Open() {
        if (device != platform::kInvalidHandle) p.close(device);
        if (event != platform::kNoHandle) p.close(event);
    }
    platform::ReadIssue issue() {
        p.reset_event(event);
        return p.begin_read(device, event, record, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    }

    ContractRig& rig;
    platform::Platform& p;
    Handle device;
    Handle event;
    OverlappedRecord record;
    std::array<std::uint8_t, 64> buffer{};
};

TEST_P(PlatformContract, AReadCompletesAtOnceOrWhenItsReportArrives) {
    const auto rig = GetParam().make();
    SKIP_UNLESS_READY(rig);
    Open o(*rig);
    ASSERT_NE(o.device, platform::kInvalidHandle);
    ASSERT_NE(o.event, platform::kNoHandle);
    EXPECT_EQ(o.p.wait(o.event, 0), WaitStatus::TimedOut) << "a new event starts clear";

    // A report already there: the read completes at once and sets its event,
    // which stays set until it is reset.
    rig->send(report(0x11));
    const platform::ReadIssue at_once = o.issue();
    ASSERT_EQ(at_once.status, ReadStatus::Completed);
    EXPECT_EQ(at_once.bytes, 64u);
    EXPECT_EQ(o.buffer[63], 0x11);
    EXPECT_EQ(o.p.wait(o.event, 0), WaitStatus::Finished);
    EXPECT_EQ(o.p.wait(o.event, 0), WaitStatus::Finished);
    o.p.reset_event(o.event);
    EXPECT_EQ(o.p.wait(o.event, 0), WaitStatus::TimedOut);
    // Set by hand (stop() ending the reader's pause), the same way.
    o.p.set_event(o.event);
    EXPECT_EQ(o.p.wait(o.event, 5000), WaitStatus::Finished);
    o.p.reset_event(o.event);
    EXPECT_EQ(o.p.wait(o.event, 0), WaitStatus::TimedOut);

    // None there: the read goes on and finishes with the next report.
    const platform::ReadIssue later = o.issue();
    ASSERT_EQ(later.status, ReadStatus::Pending);
    EXPECT_EQ(later.error, platform::kErrorIoPending);
    rig->send(report(0x22));
    EXPECT_EQ(o.p.wait(o.event, 5000), WaitStatus::Finished);
    const platform::ReadOutcome outcome = o.p.read_result(o.device, o.record, false);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.bytes, 64u);
    EXPECT_EQ(o.buffer[63], 0x22);

    // One report per read, as the module sent it: a short one comes alone,
    // and the one behind it whole.
    std::vector<std::uint8_t> short_report(10, 0x44);
    short_report[0] = 0x20;
    rig->send(short_report);
    rig->send(report(0x66));
    const platform::ReadIssue alone = o.issue();
    ASSERT_EQ(alone.status, ReadStatus::Completed);
    EXPECT_EQ(alone.bytes, 10u);
    const platform::ReadIssue whole = o.issue();
    ASSERT_EQ(whole.status, ReadStatus::Completed);
    EXPECT_EQ(whole.bytes, 64u);
    EXPECT_EQ(o.buffer[1], 0x66);
}

TEST_P(PlatformContract, AWaitTimesOutAndTheCancelledReadEndsAborted) {
    const auto rig = GetParam().make();
    SKIP_UNLESS_READY(rig);
    Open o(*rig);
    // Cancels with no read in flight touch nothing, not the next read either.
    o.p.cancel_all_reads(o.device);
    o.p.cancel_read(o.device, o.record);
    ASSERT_EQ(o.issue().status, ReadStatus::Pending);
    const auto start = Clock::now();
    EXPECT_EQ(o.p.wait(o.event, 60), WaitStatus::TimedOut);
    EXPECT_GE(Clock::now() - start, milliseconds(50));

    o.p.cancel_read(o.device, o.record);
    const platform::ReadOutcome outcome = o.p.read_result(o.device, o.record, true);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, platform::kErrorOperationAborted);

    // A report that comes after the time-out but before the cancel goes with
    // the cancelled read: the next read does not deliver it.
    ASSERT_EQ(o.issue().status, ReadStatus::Pending);
    EXPECT_EQ(o.p.wait(o.event, 20), WaitStatus::TimedOut);
    rig->send(report(0x55));
    o.p.cancel_read(o.device, o.record);
    (void)o.p.read_result(o.device, o.record, true);  // not examined, as the reader does
    ASSERT_EQ(o.issue().status, ReadStatus::Pending) << "the late report was delivered again";

    // The handle reads on.
    rig->send(report(0x33));
    EXPECT_EQ(o.p.wait(o.event, 5000), WaitStatus::Finished);
    const platform::ReadOutcome next = o.p.read_result(o.device, o.record, false);
    ASSERT_TRUE(next.ok) << next.error;
    EXPECT_EQ(o.buffer[63], 0x33);
}

TEST_P(PlatformContract, CancellingEveryReadFromAnotherThreadEndsTheWaitPromptly) {
    const auto rig = GetParam().make();
    SKIP_UNLESS_READY(rig);
    Open o(*rig);
    ASSERT_EQ(o.issue().status, ReadStatus::Pending);
    std::thread owner([&] {
        std::this_thread::sleep_for(milliseconds(50));
        o.p.cancel_all_reads(o.device);
    });
    const auto start = Clock::now();
    const WaitStatus status = o.p.wait(o.event, 10000);
    const auto waited = Clock::now() - start;
    owner.join();
    EXPECT_EQ(status, WaitStatus::Finished);
    EXPECT_LT(waited, milliseconds(2000));
    const platform::ReadOutcome outcome = o.p.read_result(o.device, o.record, true);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, platform::kErrorOperationAborted);
}

TEST_P(PlatformContract, TheModuleLeavingFailsThePendingReadAndTheNextOne) {
    const auto rig = GetParam().make();
    SKIP_UNLESS_READY(rig);
    Open o(*rig);
    ASSERT_EQ(o.issue().status, ReadStatus::Pending);
    std::thread puller([&] {
        std::this_thread::sleep_for(milliseconds(30));
        rig->pull();
    });
    EXPECT_EQ(o.p.wait(o.event, 5000), WaitStatus::Finished);
    puller.join();
    const platform::ReadOutcome outcome = o.p.read_result(o.device, o.record, false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(rig->gone_errors().count(outcome.error), 1u) << outcome.error;

    const platform::ReadIssue again = o.issue();
    EXPECT_EQ(again.status, ReadStatus::Failed);
    EXPECT_EQ(rig->gone_errors().count(again.error), 1u) << again.error;
}

TEST_P(PlatformContract, AClosedHandleFailsEveryCallWithoutHarm) {
    const auto rig = GetParam().make();
    SKIP_UNLESS_READY(rig);
    Open o(*rig);
    const Handle gone = o.p.create_event();
    ASSERT_NE(gone, platform::kNoHandle);
    o.p.close(gone);
    OverlappedRecord spare;
    const platform::ReadIssue read = o.p.begin_read(gone, o.event, spare, o.buffer.data(), 64);
    EXPECT_EQ(read.status, ReadStatus::Failed);
    EXPECT_EQ(read.error, platform::kErrorInvalidHandle);
    EXPECT_FALSE(o.p.attributes(gone).has_value());
    EXPECT_EQ(o.p.serial_number(gone), std::u16string(platform::kSerialNumberUnits, u'\0'));
    o.p.cancel_all_reads(gone);
    EXPECT_EQ(o.p.wait(platform::kNoHandle, 10), WaitStatus::Finished) << "a wait on no event fails at once";
    // The open handle is untouched.
    rig->send(report(0x44));
    ASSERT_EQ(o.issue().status, ReadStatus::Completed);
    EXPECT_EQ(o.buffer[63], 0x44);
}

TEST_P(PlatformContract, MisuseGetsTheContractsAnswers) {
    const auto rig = GetParam().make();
    SKIP_UNLESS_READY(rig);
    if (!rig->answers_misuse_by_contract()) GTEST_SKIP() << "this system answers misuse itself";
    Open o(*rig);

    // No read in flight on this record.
    OverlappedRecord stale;
    EXPECT_EQ(o.p.read_result(o.device, stale, false).error, platform::kErrorInvalidParameter);

    ASSERT_EQ(o.issue().status, ReadStatus::Pending);
    // Still going on.
    const platform::ReadOutcome incomplete = o.p.read_result(o.device, o.record, false);
    EXPECT_FALSE(incomplete.ok);
    EXPECT_EQ(incomplete.error, platform::kErrorIoIncomplete);
    // A second read on the same handle is refused; the first goes on.
    OverlappedRecord second;
    std::array<std::uint8_t, 64> other{};
    const platform::ReadIssue busy = o.p.begin_read(o.device, o.event, second, other.data(), 64);
    EXPECT_EQ(busy.status, ReadStatus::Failed);
    EXPECT_EQ(busy.error, platform::kErrorBusy);

    // The handle closed while a wait on its read runs: the wait ends.
    std::thread closer([&] {
        std::this_thread::sleep_for(milliseconds(30));
        o.p.close(o.device);
    });
    EXPECT_EQ(o.p.wait(o.event, 5000), WaitStatus::Finished);
    closer.join();
    EXPECT_EQ(o.p.read_result(o.device, o.record, false).error, platform::kErrorInvalidHandle);
    o.device = platform::kInvalidHandle;
}

}  // namespace
}  // namespace vesko::contract
