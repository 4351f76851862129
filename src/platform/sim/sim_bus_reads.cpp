#include "platform/sim/sim_bus.h"

#include <algorithm>
#include <limits>

namespace vesko::platform::sim {

using platform::Handle;

void SimBus::finish_locked(ActiveRead& read, bool ok, std::uint32_t bytes, std::uint32_t error) {
    read.done = true;
    read.outcome = platform::ReadOutcome{ok, bytes, ok ? 0 : error};
    signal_locked(read.event);
}

platform::ReadIssue SimBus::begin_read(Handle device, Handle event, platform::OverlappedRecord& record,
                                       std::uint8_t* buffer, std::uint32_t length) {
    Lock lock(mutex_);
    HandleState* h = device_locked(device);
    if (h == nullptr) return {platform::ReadStatus::Failed, 0, kErrorInvalidHandle};
    if (h->read && !h->read->done) return {platform::ReadStatus::Failed, 0, kErrorBusy};
    if (!device_alive_locked(*h)) {
        return {platform::ReadStatus::Failed, 0, platform::kErrorDeviceNotConnected};
    }

    // Issuing a read resets its event, as the platform does.
    const auto ev = handles_.find(event);
    if (ev != handles_.end() && ev->second.is_event) ev->second.signalled = false;

    ActiveRead read;
    read.record = &record;
    read.buffer = buffer;
    read.length = length;
    read.event = event;

    Interface& iface = interfaces_[h->iface];
    if (!iface.script.empty()) {
        ReadStep step = std::move(iface.script.front());
        iface.script.pop_front();
        switch (step.kind) {
            case ReadStep::Kind::Completed: {
                const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(step.report.size(), length));
                std::copy_n(step.report.begin(), n, buffer);
                signal_locked(event);
                return {platform::ReadStatus::Completed, n, 0};
            }
            case ReadStep::Kind::Failed: return {platform::ReadStatus::Failed, 0, step.error};
            case ReadStep::Kind::Silent: read.mode = ReadMode::Silent; break;
            case ReadStep::Kind::CompletedLater:
            case ReadStep::Kind::FailedLater:
                read.mode = ReadMode::Timed;
                read.finish_at_ns = now_locked() + step.delay_ns;
                read.report = std::move(step.report);
                read.finish_error = step.kind == ReadStep::Kind::FailedLater ? step.error : 0;
                break;
        }
    } else if (iface.source) {
        const auto due = iface.source->next_report_time();
        const std::int64_t now = now_locked();
        if (due && *due <= now) {
            const auto n = static_cast<std::uint32_t>(iface.source->take_report(now, buffer, length));
            signal_locked(event);
            return {platform::ReadStatus::Completed, n, 0};
        }
        read.mode = ReadMode::Source;
    }
    h->read = std::move(read);
    return {platform::ReadStatus::Pending, 0, platform::kErrorIoPending};
}

void SimBus::pump_locked(Handle event) {
    const std::int64_t now = now_locked();
    for (auto& [handle, h] : handles_) {
        if (h.is_event || !h.read || h.read->done || h.read->event != event) continue;
        ActiveRead& read = *h.read;
        if (read.mode == ReadMode::Timed && read.finish_at_ns <= now) {
            if (read.finish_error != 0) {
                finish_locked(read, false, 0, read.finish_error);
            } else {
                const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(read.report.size(), read.length));
                std::copy_n(read.report.begin(), n, read.buffer);
                finish_locked(read, true, n, 0);
            }
        } else if (read.mode == ReadMode::Source) {
            const auto& source = interfaces_[h.iface].source;
            if (!source) continue;
            const auto due = source->next_report_time();
            if (due && *due <= now) {
                const auto n = static_cast<std::uint32_t>(source->take_report(now, read.buffer, read.length));
                finish_locked(read, true, n, 0);
            }
        }
    }
}

std::optional<std::int64_t> SimBus::next_finish_locked(Handle event) {
    std::optional<std::int64_t> next;
    for (auto& [handle, h] : handles_) {
        if (h.is_event || !h.read || h.read->done || h.read->event != event) continue;
        std::optional<std::int64_t> t;
        if (h.read->mode == ReadMode::Timed) {
            t = h.read->finish_at_ns;
        } else if (h.read->mode == ReadMode::Source && interfaces_[h.iface].source) {
            t = interfaces_[h.iface].source->next_report_time();
        }
        if (t && (!next || *t < *next)) next = t;
    }
    return next;
}

platform::WaitStatus SimBus::wait(Handle event, std::uint32_t timeout_ms) {
    Lock lock(mutex_);
    const std::int64_t deadline = now_locked() + std::int64_t{timeout_ms} * 1'000'000;
    for (;;) {
        pump_locked(event);
        const auto ev = handles_.find(event);
        if (ev == handles_.end() || !ev->second.is_event || !ev->second.open) {
            return platform::WaitStatus::Finished;  // a bad handle: the wait fails at once
        }
        if (ev->second.signalled) return platform::WaitStatus::Finished;
        const std::int64_t now = now_locked();
        if (now >= deadline) return platform::WaitStatus::TimedOut;
        std::int64_t wake = deadline;
        if (const auto next = next_finish_locked(event)) wake = std::max(now, std::min(wake, *next));
        block_locked(lock, wake, WaitOn::of(WaitOn::Kind::Event, event));
    }
}

void SimBus::cancel_read(Handle device, platform::OverlappedRecord& record) {
    Lock lock(mutex_);
    HandleState* h = device_locked(device);
    if (h == nullptr || !h->read || h->read->record != &record) return;
    cancel_locked(*h);
}

void SimBus::cancel_all_reads(Handle device) {
    Lock lock(mutex_);
    log_locked(BusEvent::Kind::CancelAll, device);
    HandleState* h = device_locked(device);
    if (h == nullptr || !h->read) return;
    cancel_locked(*h);
}

void SimBus::cancel_locked(HandleState& h) {
    // A report already due completes the read first, as on Windows, and goes
    // with it: the next read starts with what comes after.
    pump_locked(h.read->event);
    if (!h.read->done) finish_locked(*h.read, false, 0, platform::kErrorOperationAborted);
}

platform::ReadOutcome SimBus::read_result(Handle device, platform::OverlappedRecord& record, bool wait_for_end) {
    Lock lock(mutex_);
    HandleState* h = device_locked(device);
    if (h == nullptr) return {false, 0, kErrorInvalidHandle};
    if (!h->read || h->read->record != &record) return {false, 0, kErrorInvalidParameter};
    pump_locked(h->read->event);
    while (wait_for_end && !h->read->done) {
        block_locked(lock, kNever, WaitOn::of(WaitOn::Kind::ReadEnd, device));
        h = device_locked(device);
        if (h == nullptr || !h->read) return {false, 0, platform::kErrorOperationAborted};
        pump_locked(h->read->event);
    }
    if (!h->read->done) return {false, 0, kErrorIoIncomplete};
    const platform::ReadOutcome outcome = h->read->outcome;
    h->read.reset();
    return outcome;
}

}  // namespace vesko::platform::sim
