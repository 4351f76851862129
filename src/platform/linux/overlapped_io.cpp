#include "platform/linux/overlapped_io.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/clock.h"
#include "platform/linux/error_codes.h"

namespace vesko::platform::linux_hid {

// A manual-reset event: set while its eventfd counter is non-zero.
class EventObject {
public:
    explicit EventObject(UniqueFd fd) : fd_(std::move(fd)) {}

    int fd() const { return fd_.get(); }

    void set() const {
        const std::uint64_t one = 1;
        ssize_t n = 0;
        do {
            n = ::write(fd_.get(), &one, sizeof one);
        } while (n < 0 && errno == EINTR);
        // EAGAIN only when the counter is about to overflow: it is set anyway.
    }

    void reset() const {
        std::uint64_t value = 0;
        for (;;) {
            const ssize_t n = ::read(fd_.get(), &value, sizeof value);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return;  // EAGAIN: the counter is zero, the event is reset
            }
        }
    }

    std::mutex mutex;                   // guards `armed`
    std::shared_ptr<DeviceFile> armed;  // the device whose pending read sets this event

private:
    UniqueFd fd_;
};

namespace {

// What the backend keeps in the caller's OverlappedRecord: the number of the
// read it stands for, so that a record of an older read matches nothing.
struct RecordState {
    std::uint64_t op = 0;
};
static_assert(sizeof(RecordState) <= sizeof(OverlappedRecord::storage));

void store(OverlappedRecord& record, std::uint64_t op) {
    record = OverlappedRecord{};
    const RecordState state{op};
    std::memcpy(record.storage, &state, sizeof state);
}

std::uint64_t load(const OverlappedRecord& record) {
    RecordState state;
    std::memcpy(&state, record.storage, sizeof state);
    return state.op;
}

ReadIssue failed(std::uint32_t error) { return ReadIssue{ReadStatus::Failed, 0, error}; }

ReadOutcome failure(std::uint32_t error) { return ReadOutcome{false, 0, error}; }

// One read() of the node, EINTR retried. >= 0: bytes; < 0: -errno.
ssize_t read_node(int fd, std::uint8_t* buffer, std::uint32_t length) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, length);
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            return -errno;
        }
    }
}

bool would_block(ssize_t result) { return result == -EAGAIN || result == -EWOULDBLOCK; }

}  // namespace

OverlappedIo::~OverlappedIo() {
    std::lock_guard lock(table_mutex_);
    for (auto& [handle, entry] : table_) {
        if (auto* device = std::get_if<std::shared_ptr<DeviceFile>>(&entry)) {
            std::lock_guard device_lock((*device)->mutex_);
            cancel_locked(**device);
            finish_locked(**device);
        }
    }
}

Handle OverlappedIo::insert(Entry entry) {
    std::lock_guard lock(table_mutex_);
    if (next_handle_ == kInvalidHandle) {
        return kInvalidHandle;
    }
    const Handle handle = next_handle_++;
    table_.emplace(handle, std::move(entry));
    return handle;
}

Handle OverlappedIo::add_device(UniqueFd fd, std::string node_name) {
    if (!fd.valid()) {
        return kInvalidHandle;
    }
    return insert(std::make_shared<DeviceFile>(std::move(fd), std::move(node_name)));
}

std::shared_ptr<DeviceFile> OverlappedIo::device(Handle handle) const {
    std::lock_guard lock(table_mutex_);
    const auto it = table_.find(handle);
    if (it == table_.end()) {
        return nullptr;
    }
    const auto* device = std::get_if<std::shared_ptr<DeviceFile>>(&it->second);
    return device ? *device : nullptr;
}

std::shared_ptr<EventObject> OverlappedIo::event(Handle handle) const {
    std::lock_guard lock(table_mutex_);
    const auto it = table_.find(handle);
    if (it == table_.end()) {
        return nullptr;
    }
    const auto* event = std::get_if<std::shared_ptr<EventObject>>(&it->second);
    return event ? *event : nullptr;
}

Handle OverlappedIo::create_event() {
    UniqueFd fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!fd.valid()) {
        return kNoHandle;
    }
    const Handle handle = insert(std::make_shared<EventObject>(std::move(fd)));
    return handle == kInvalidHandle ? kNoHandle : handle;
}

void OverlappedIo::reset_event(Handle handle) {
    if (const auto ev = event(handle)) {
        ev->reset();
    }
}

void OverlappedIo::set_event(Handle handle) {
    if (const auto ev = event(handle)) {
        ev->set();
    }
}

ReadIssue OverlappedIo::begin_read(Handle device_handle, Handle event_handle, OverlappedRecord& record,
                                   std::uint8_t* buffer, std::uint32_t length) {
    store(record, 0);
    const auto dev = device(device_handle);
    const auto ev = event(event_handle);
    if (!dev || !ev) {
        return failed(kErrorInvalidHandle);
    }
    if (buffer == nullptr && length > 0) {
        return failed(kErrorInvalidParameter);
    }
    std::lock_guard lock(dev->mutex_);
    if (dev->active_) {
        return failed(kErrorBusy);  // one read per handle at a time
    }
    const ssize_t n = read_node(dev->fd(), buffer, length);
    if (n > 0 || (n == 0 && length == 0)) {
        ev->set();  // a read that completes at once still sets its event
        return ReadIssue{ReadStatus::Completed, static_cast<std::uint32_t>(n), 0};
    }
    if (n == 0) {
        return failed(kErrorDeviceNotConnected);  // end of file: the node's far end is gone
    }
    if (!would_block(n)) {
        return failed(error_from_errno(static_cast<int>(-n)));
    }
    dev->active_ = true;
    dev->cancelled_ = false;
    dev->op_ = next_op_++;
    dev->buffer_ = buffer;
    dev->length_ = length;
    dev->event_ = ev;
    {
        std::lock_guard event_lock(ev->mutex);
        ev->armed = dev;
    }
    store(record, dev->op_);
    return ReadIssue{ReadStatus::Pending, 0, kErrorIoPending};
}

WaitStatus OverlappedIo::wait(Handle event_handle, std::uint32_t timeout_ms) {
    const auto ev = event(event_handle);
    if (!ev) {
        return WaitStatus::Finished;  // a failed wait, which the reader takes as "finished"
    }
    std::shared_ptr<DeviceFile> dev;
    {
        std::lock_guard lock(ev->mutex);
        dev = ev->armed;
    }
    pollfd fds[2] = {{ev->fd(), POLLIN, 0}, {dev ? dev->fd() : -1, POLLIN, 0}};

    constexpr std::uint32_t kInfinite = 0xFFFFFFFF;
    constexpr std::int64_t kNsPerMs = 1'000'000;
    Clock& clock = monotonic_clock();
    const std::int64_t deadline = clock.now_ns() + std::int64_t{timeout_ms} * kNsPerMs;
    for (;;) {
        int timeout = -1;
        std::int64_t left_ns = 0;
        if (timeout_ms != kInfinite) {
            left_ns = std::max<std::int64_t>(deadline - clock.now_ns(), 0);
            timeout = static_cast<int>(std::min<std::int64_t>((left_ns + kNsPerMs - 1) / kNsPerMs, INT_MAX));
        }
        const int ready = ::poll(fds, 2, timeout);
        if (ready > 0) {
            return WaitStatus::Finished;
        }
        // The time-out is the monotonic clock's: a poll that ends before it
        // waits again for the rest.
        if (ready == 0 && (left_ns == 0 || clock.now_ns() >= deadline)) {
            return WaitStatus::TimedOut;
        }
        if (ready == 0) {
            continue;
        }
        if (errno != EINTR) {
            return WaitStatus::Finished;  // a failed wait; read_result tells what happened
        }
    }
}

void OverlappedIo::cancel_locked(DeviceFile& dev) {
    if (!dev.active_ || dev.cancelled_) {
        return;
    }
    // On Windows a report that reaches the device while a read is in flight
    // completes that read, so it goes with the read when the read is
    // cancelled; the next read starts with what comes after. Here the report
    // waits in the node until someone reads it: the cancelled read takes it.
    (void)read_node(dev.fd(), dev.buffer_, dev.length_);
    dev.cancelled_ = true;
    if (const auto ev = dev.event_.lock()) {
        ev->set();
    }
}

void OverlappedIo::finish_locked(DeviceFile& dev) {
    dev.active_ = false;
    dev.buffer_ = nullptr;
    dev.length_ = 0;
    const auto ev = dev.event_.lock();
    dev.event_.reset();
    if (ev) {
        std::lock_guard lock(ev->mutex);
        if (ev->armed.get() == &dev) {
            ev->armed.reset();
        }
    }
}

void OverlappedIo::cancel_read(Handle device_handle, OverlappedRecord& record) {
    const auto dev = device(device_handle);
    if (!dev) {
        return;
    }
    std::lock_guard lock(dev->mutex_);
    if (dev->active_ && dev->op_ == load(record)) {
        cancel_locked(*dev);
    }
}

void OverlappedIo::cancel_all_reads(Handle device_handle) {
    const auto dev = device(device_handle);
    if (!dev) {
        return;
    }
    std::lock_guard lock(dev->mutex_);
    cancel_locked(*dev);
}

ReadOutcome OverlappedIo::read_result(Handle device_handle, OverlappedRecord& record, bool wait_for_end) {
    const auto dev = device(device_handle);
    if (!dev) {
        return failure(kErrorInvalidHandle);
    }
    const std::uint64_t op = load(record);
    bool event_was_set = false;
    for (;;) {
        std::shared_ptr<EventObject> ev;
        {
            std::lock_guard lock(dev->mutex_);
            if (!dev->active_ || op == 0 || dev->op_ != op) {
                return failure(kErrorInvalidParameter);  // no such read in flight
            }
            if (dev->cancelled_) {
                finish_locked(*dev);
                return failure(kErrorOperationAborted);
            }
            const ssize_t n = read_node(dev->fd(), dev->buffer_, dev->length_);
            if (n > 0 || (n == 0 && dev->length_ == 0)) {
                finish_locked(*dev);
                return ReadOutcome{true, static_cast<std::uint32_t>(n), 0};
            }
            if (n == 0) {
                finish_locked(*dev);
                return failure(kErrorDeviceNotConnected);
            }
            if (!would_block(n)) {
                finish_locked(*dev);
                return failure(error_from_errno(static_cast<int>(-n)));
            }
            if (!wait_for_end || event_was_set) {
                // Still in flight: the event was set by someone else, or the
                // caller asked not to wait.
                return failure(kErrorIoIncomplete);
            }
            ev = dev->event_.lock();
        }
        // Block without the lock so that a cancel from another thread gets in.
        pollfd fds[2] = {{dev->fd(), POLLIN, 0}, {ev ? ev->fd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return failure(error_from_errno(errno));
        }
        event_was_set = (fds[1].revents & POLLIN) != 0;
    }
}

void OverlappedIo::close(Handle handle) {
    Entry entry;
    {
        std::lock_guard lock(table_mutex_);
        const auto it = table_.find(handle);
        if (it == table_.end()) {
            return;
        }
        entry = std::move(it->second);
        table_.erase(it);
    }
    if (auto* dev = std::get_if<std::shared_ptr<DeviceFile>>(&entry)) {
        std::lock_guard lock((*dev)->mutex_);
        cancel_locked(**dev);
        finish_locked(**dev);
    }
    // The object, and with it its descriptor, goes when its last user lets go.
}

}  // namespace vesko::platform::linux_hid
