#pragma once

// Open hidraw nodes and wake-up events behind the seam's Handle values, with
// the one-read-at-a-time overlapped model made of non-blocking read() and
// poll(): a read that finds no report is left pending; a wait polls the node
// and the event's eventfd; a cancel marks the pending read and writes the
// eventfd so that a wait on another thread returns at once.
//
// Handle values come from a counter and are never reused, so a handle closed
// on one thread cannot name a newer object on another. Each object is shared:
// a close while another thread still polls its descriptor only drops the
// table's reference, and the descriptor closes when the last user lets go.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <variant>

#include "platform/linux/unique_fd.h"
#include "platform/platform.h"

namespace vesko::platform::linux_hid {

class EventObject;

// One open hidraw node and the state of its read in flight.
class DeviceFile {
public:
    DeviceFile(UniqueFd fd, std::string node_name) : fd_(std::move(fd)), node_name_(std::move(node_name)) {}

    int fd() const { return fd_.get(); }
    const std::string& node_name() const { return node_name_; }

private:
    friend class OverlappedIo;

    UniqueFd fd_;
    std::string node_name_;

    std::mutex mutex_;  // guards the fields below; taken before an event's mutex
    bool active_ = false;
    bool cancelled_ = false;
    std::uint64_t op_ = 0;
    std::uint8_t* buffer_ = nullptr;
    std::uint32_t length_ = 0;
    std::weak_ptr<EventObject> event_;
};

class OverlappedIo {
public:
    OverlappedIo() = default;
    OverlappedIo(const OverlappedIo&) = delete;
    OverlappedIo& operator=(const OverlappedIo&) = delete;
    ~OverlappedIo();

    // Takes ownership of an open, non-blocking node. kInvalidHandle when no
    // handle value is left.
    Handle add_device(UniqueFd fd, std::string node_name);
    std::shared_ptr<DeviceFile> device(Handle handle) const;

    Handle create_event();
    void reset_event(Handle event);
    void set_event(Handle event);

    ReadIssue begin_read(Handle device, Handle event, OverlappedRecord& record, std::uint8_t* buffer,
                         std::uint32_t length);
    WaitStatus wait(Handle event, std::uint32_t timeout_ms);
    void cancel_read(Handle device, OverlappedRecord& record);
    void cancel_all_reads(Handle device);
    ReadOutcome read_result(Handle device, OverlappedRecord& record, bool wait_for_end);

    // Closing a device with a read in flight cancels that read, as closing a
    // Windows handle does.
    void close(Handle handle);

private:
    using Entry = std::variant<std::shared_ptr<DeviceFile>, std::shared_ptr<EventObject>>;

    Handle insert(Entry entry);
    std::shared_ptr<EventObject> event(Handle handle) const;
    static void cancel_locked(DeviceFile& device);
    static void finish_locked(DeviceFile& device);

    mutable std::mutex table_mutex_;
    std::unordered_map<Handle, Entry> table_;
    Handle next_handle_ = 1;
    std::atomic<std::uint64_t> next_op_{1};
};

}  // namespace vesko::platform::linux_hid
