#include "imu/vantis_imu.h"

#include <cstdio>
#include <system_error>

#include "discovery/open_imu_device.h"
#include "discovery/product_ids.h"
#include "imu/input_report.h"
#include "platform/device_text.h"
#include "text/em_dash.h"

namespace vesko {

using platform::narrow;
using platform::to_utf8;
using platform::widen;
namespace {

using platform::Handle;
using platform::kInvalidHandle;
using platform::kNoHandle;

constexpr std::uint32_t kReadWaitMs = 1000;
constexpr int kSilentWaitsToGiveUp = 3;
constexpr std::uint32_t kPauseMs = 2000;  // between rediscoveries

}  // namespace

// U+2014 as its UTF-8 bytes, for the messages that carry it.

VantisImu::VantisImu(SampleCallback callback, platform::Platform& platform, platform::Clock& clock,
                     VantisImuOptions options)
    : platform_(platform), clock_(clock), options_(std::move(options)), sample_callback_(std::move(callback)) {}

VantisImu::~VantisImu() { stop(); }

bool VantisImu::start(const char* serial) {
    if (running_.load()) return true;

    const std::u16string requested = widen(serial != nullptr ? serial : "");
    std::u16string out_serial;
    const Handle device = open_imu_device(platform_, requested, &out_serial, true, options_.streams);
    if (device == kInvalidHandle) {
        // A module passed over because the system would not open it is not
        // a cable fault: say so before the usual words.
        report_denied_modules(platform_, options_.streams.err);
        options_.streams.err
            .print("VantisImu: no matching %04X:%04X MI_00 device (Telvar unplugged? wrong --imu-serial?)\n",
                   kModuleVendorId, kModuleProductId);
        return false;
    }

    // Without its event the read loop could never learn that a read finished.
    const Handle event = platform_.create_event();
    if (event == kNoHandle) {
        platform_.close(device);
        options_.streams.err.print("VantisImu: cannot create the read event " ROTABENCH_EM_DASH " module closed\n");
        return false;
    }

    const std::u16string previous_serial = requested_serial_;
    requested_serial_ = requested;
    options_.streams.out.print("VantisImu: using %s\n", to_utf8(out_serial).c_str());
    std::string previous_name;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        previous_name = device_name_;
        device_name_ = narrow(out_serial);
    }
    {
        std::lock_guard<std::mutex> lock(device_mutex_);
        device_ = device;
    }
    read_event_ = event;
    stop_requested_.exchange(false);
    running_.exchange(true);

    try {
        thread_ = clock_.start_thread("reader", platform::kReaderRank, [this] { read_loop(); });
    } catch (const std::system_error& e) {
        // Nothing runs yet: release what this start took and stay Stopped.
        running_.exchange(false);
        {
            std::lock_guard<std::mutex> lock(device_mutex_);
            device_ = kNoHandle;
        }
        platform_.close(device);
        platform_.close(event);
        read_event_ = kNoHandle;
        requested_serial_ = previous_serial;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            device_name_ = previous_name;
        }
        options_.streams.err.print("VantisImu: cannot start the reader thread (err %d) " ROTABENCH_EM_DASH
                                   " module closed\n",
                                   e.code().value());
        return false;
    }
    return true;
}

void VantisImu::read_loop() {
    SequenceFilter filter;
    int silent_waits = 0;
    std::uint8_t buffer[kImuReportReadLength] = {};
    platform::OverlappedRecord record;
    const ReportSink sink{filter, mutex_, record_, sample_callback_, clock_};

    for (;;) {
        if (stop_requested_.load()) break;

        Handle device = kNoHandle;
        {
            std::lock_guard<std::mutex> lock(device_mutex_);
            device = device_;
        }
        if (device == kNoHandle) {
            if (!wait_for_module(filter, silent_waits)) break;
            continue;
        }

        // Issue the read. The stop request is looked at again under the
        // hand-over lock, so a stop either sees this read and cancels it or
        // comes before it and no read is issued.
        platform::ReadIssue issue;
        {
            std::lock_guard<std::mutex> lock(device_mutex_);
            if (stop_requested_.load()) break;
            record = platform::OverlappedRecord{};
            platform_.reset_event(read_event_);
            issue =
                platform_.begin_read(device, read_event_, record, buffer, static_cast<std::uint32_t>(sizeof buffer));
        }

        std::uint32_t bytes = 0;
        if (issue.status == platform::ReadStatus::Completed) {
            bytes = issue.bytes;
        } else if (issue.status == platform::ReadStatus::Failed) {
            if (stop_requested_.load()) break;
            options_.streams.err.print("VantisImu: ReadFile failed (err %lu) " ROTABENCH_EM_DASH
                                       " device gone, waiting for reconnect\n",
                                       static_cast<unsigned long>(issue.error));
            close_device();
            continue;
        } else if (platform_.wait(read_event_, kReadWaitMs) == platform::WaitStatus::TimedOut) {
            platform_.cancel_read(device, record);
            (void)platform_.read_result(device, record, true);  // a late report is dropped too
            if (++silent_waits < kSilentWaitsToGiveUp) continue;
            options_.streams.err.print("VantisImu: stream silent %ds " ROTABENCH_EM_DASH
                                       " device gone, waiting for a Telvar\n",
                                       silent_waits);
            close_device();
            continue;
        } else {
            const platform::ReadOutcome outcome = platform_.read_result(device, record, false);
            if (!outcome.ok) {
                if (stop_requested_.load()) break;
                options_.streams.err.print("VantisImu: read failed (err %lu) " ROTABENCH_EM_DASH
                                           " device gone, waiting for reconnect\n",
                                           static_cast<unsigned long>(outcome.error));
                close_device();
                continue;
            }
            bytes = outcome.bytes;
        }

        // Any completed read, valid report or not, ends a silence.
        silent_waits = 0;
        process_report(buffer, bytes, sink);
    }
    running_.exchange(false);
}

bool VantisImu::wait_for_module(SequenceFilter& filter, int& silent_waits) {
    // No read is in flight without a module, so the read event is free to
    // carry stop()'s signal: reset first, then look at the request, so that a
    // stop either comes before the look or sets the event after the reset.
    platform_.reset_event(read_event_);
    if (stop_requested_.load()) return false;
    (void)platform_.wait(read_event_, kPauseMs);
    if (stop_requested_.load()) return false;

    std::u16string out_serial;
    const Handle device = open_imu_device(platform_, requested_serial_, &out_serial, false, options_.streams);
    if (device == kInvalidHandle) return true;  // quietly, after the next pause

    {
        // Stored under the hand-over lock; a stop that runs now finds it and
        // closes it after the join.
        std::lock_guard<std::mutex> lock(device_mutex_);
        device_ = device;
    }
    filter.reset();
    silent_waits = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        device_name_ = narrow(out_serial);
    }
    options_.streams.err.print("VantisImu: reconnected to %s\n", to_utf8(out_serial).c_str());
    return true;
}

void VantisImu::close_device() {
    std::lock_guard<std::mutex> lock(device_mutex_);
    if (device_ != kNoHandle) platform_.close(device_);
    device_ = kNoHandle;
}

bool VantisImu::last_sample(ImuSample& out, double* age) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!record_.has_latest) return false;
    out = record_.latest;
    if (age != nullptr) {
        *age = static_cast<double>(clock_.now_ns() - record_.latest_host_ns) / 1'000'000'000.0;
    }
    return true;
}

std::string VantisImu::device_name() {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_name_;
}

void VantisImu::stop() {
    if (!running_.load() && !thread_.joinable()) return;
    stop_requested_.exchange(true);
    {
        // With a module, its read is cancelled; without one, the reader is in
        // (or about to enter) the pause, which the read event ends.
        std::lock_guard<std::mutex> lock(device_mutex_);
        if (device_ != kNoHandle) {
            platform_.cancel_all_reads(device_);
        } else if (read_event_ != kNoHandle) {
            platform_.set_event(read_event_);
        }
    }
    thread_.join();
    close_device();
    if (read_event_ != kNoHandle) {
        platform_.close(read_event_);
        read_event_ = kNoHandle;
    }
    running_.exchange(false);
}

}  // namespace vesko
