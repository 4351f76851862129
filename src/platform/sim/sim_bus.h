#pragma once

// An in-memory USB bus behind the platform seam: device nodes with parents,
// instance IDs and location paths; HID interfaces with device paths,
// attributes and serial numbers; handles with one overlapped read at a time,
// played from a script of read steps or fed by a report source; interfaces
// that leave the bus and come back.
//
// Time is the bus's clock (bus_clock.h) in nanoseconds: in Real mode the
// monotonic clock since the bus was made, in Virtual mode a count that moves
// only when every thread taking part in the session waits. Every wait of the
// bus (an event, a read's end, an enumeration held) blocks through it.
//
// Threads: every operation may be called from any thread; one mutex, the
// clock's, guards the whole bus. Report sources are asked under that mutex,
// so a source must not call into the bus while it holds a lock of its own.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/bus_clock.h"
#include "platform/sim/read_step.h"
#include "platform/sim/report_source.h"

namespace vesko::platform::sim {

// The session's ranks, under the names the simulator knows them by.
using platform::kConsoleRank;
using platform::kOtherRank;
using platform::kReaderRank;

// One node of the device tree as its queries will answer.
struct SimNode {
    std::optional<platform::DevNode> parent;       // none at a root
    std::u16string instance_id;                    // returned with a NUL while it fits in 200 units;
                                                   // exactly 200 come back without one, more fail
    std::optional<std::u16string> location_paths;  // the property value (texts each
                                                   // ending in NUL); none: no property
    bool present = true;
    bool parent_query_fails = false;
    bool id_query_fails = false;
};

// One HID interface as its queries will answer.
struct SimHidInterface {
    std::u16string path;                                // device path, exactly as the detail read gives it
    platform::DevNode node = 0;                         // device node of the interface's device
    bool detail_ok = true;                              // false: the detail read fails
    bool open_fails = false;                            // e.g. another process holds it exclusively
    std::optional<platform::HidAttributes> attributes;  // none: the query fails
    std::u16string serial;                              // serial units; the query pads them with zeros
                                                        // to 128 units and cuts them there
};

// What the bus saw, with the bus time, for tests that check order and timing.
struct BusEvent {
    enum class Kind { Enumerate, Open, Close, CancelAll };
    Kind kind = Kind::Enumerate;
    std::int64_t time_ns = 0;
    platform::Handle handle = 0;
    std::u16string path;
};

class SimBus final : public platform::Platform {
public:
    explicit SimBus(TimeMode mode = TimeMode::Virtual);
    TimeMode time_mode() const { return clock_.mode(); }
    // The clock every wait of the bus blocks through, and the session's.
    BusClock& clock() { return clock_; }
    ~SimBus() override;

    // --- building and changing the bus ------------------------------------
    platform::DevNode add_node(SimNode node);
    void set_node_present(platform::DevNode node, bool present);
    std::size_t add_hid_interface(SimHidInterface iface);  // returns its index
    // Unplug (false) or replug (true). Reads pending on the interface fail
    // with kErrorDeviceNotConnected; handles opened before an unplug stay dead.
    void set_interface_present(std::size_t iface, bool present);
    void queue_reads(std::size_t iface, std::vector<ReadStep> steps);
    void attach_source(std::size_t iface, std::shared_ptr<ReportSource> source);
    // A source's schedule moved: waiting reads ask it again.
    void notify_source_changed();

    // Faults of whole queries.
    void set_interface_set_fails(bool fails);
    void set_node_sets_fail(bool fails);
    void set_event_creation_fails(bool fails);
    // While held, hid_interfaces() blocks on whatever thread calls it (in
    // Virtual mode as a wait of the bus): a test catches a discovery in
    // progress this way.
    void hold_enumeration(bool hold);

    // --- observing ----------------------------------------------------------
    std::size_t node_count() const;
    std::size_t open_attempts(std::size_t iface) const;
    std::size_t open_handle_count() const;  // device and event handles not closed
    std::size_t bad_close_count() const;    // closes of unknown or closed handles
    std::vector<BusEvent> events() const;
    // A present node as it was described, before any query's buffer rules.
    std::optional<SimNode> node_info(platform::DevNode node) const;
    // The present HID interface with that device path, letter case ignored.
    std::optional<SimHidInterface> interface_info(std::u16string_view path) const;

    // --- time ---------------------------------------------------------------
    // The clock's time, for a bus event's stamp or a test's look.
    std::int64_t now_ns() const;

    // --- the platform -------------------------------------------------------
    std::optional<std::vector<platform::DevNode>> nodes_under_enumerator(std::u16string_view enumerator) override;
    std::optional<platform::DevNode> parent(platform::DevNode node) override;
    std::optional<std::u16string> device_instance_id(platform::DevNode node) override;
    std::optional<std::u16string> location_paths(platform::DevNode node) override;
    std::optional<std::vector<platform::HidInterfaceDetail>> hid_interfaces() override;
    platform::Handle open_device(std::u16string_view path) override;
    std::optional<platform::HidAttributes> attributes(platform::Handle device) override;
    std::u16string serial_number(platform::Handle device) override;
    void close(platform::Handle handle) override;
    platform::Handle create_event() override;
    void reset_event(platform::Handle event) override;
    platform::ReadIssue begin_read(platform::Handle device, platform::Handle event, platform::OverlappedRecord& record,
                                   std::uint8_t* buffer, std::uint32_t length) override;
    platform::WaitStatus wait(platform::Handle event, std::uint32_t timeout_ms) override;
    void cancel_read(platform::Handle device, platform::OverlappedRecord& record) override;
    void cancel_all_reads(platform::Handle device) override;
    platform::ReadOutcome read_result(platform::Handle device, platform::OverlappedRecord& record,
                                      bool wait_for_end) override;
    void set_event(platform::Handle event) override;

private:
    struct Interface {
        SimHidInterface config;
        bool present = true;
        std::uint32_t generation = 0;  // moves at every unplug
        std::deque<ReadStep> script;
        std::shared_ptr<ReportSource> source;
        std::size_t open_attempts = 0;
    };
    enum class ReadMode { Silent, Timed, Source };
    struct ActiveRead {
        const platform::OverlappedRecord* record = nullptr;
        std::uint8_t* buffer = nullptr;
        std::uint32_t length = 0;
        platform::Handle event = 0;
        ReadMode mode = ReadMode::Silent;
        std::int64_t finish_at_ns = 0;     // Timed
        std::vector<std::uint8_t> report;  // Timed, completing
        std::uint32_t finish_error = 0;    // Timed, failing (0: completing)
        bool done = false;
        platform::ReadOutcome outcome;
    };
    struct HandleState {
        bool is_event = false;
        bool open = true;
        bool signalled = false;          // events
        std::size_t iface = 0;           // devices
        std::uint32_t generation = 0;    // devices: the interface's at open
        std::optional<ActiveRead> read;  // devices
    };
    using Lock = BusClock::Lock;
    static constexpr std::int64_t kNever = BusClock::kNever;

    std::int64_t now_locked() const { return clock_.now_locked(); }
    void block_locked(Lock& lock, std::int64_t wake_ns, WaitOn on) { clock_.block_locked(lock, wake_ns, on); }
    // Something changed that threads waiting on events, reads or the
    // enumeration must look at again.
    void changed_locked();
    // Marks the blocked participants waiting on `kind` (on that event, for
    // Event), or those `concerned`; in Real mode wakes every waiting thread.
    void mark_locked(WaitOn::Kind kind, platform::Handle handle = 0);
    void log_locked(BusEvent::Kind kind, platform::Handle handle, std::u16string path = {});

    const SimNode* node_locked(platform::DevNode node) const;
    HandleState* device_locked(platform::Handle device);
    bool device_alive_locked(const HandleState& h) const;
    void signal_locked(platform::Handle event);
    void finish_locked(ActiveRead& read, bool ok, std::uint32_t bytes, std::uint32_t error);
    void pump_locked(platform::Handle event);
    void cancel_locked(HandleState& h);
    std::optional<std::int64_t> next_finish_locked(platform::Handle event);

    BusClock clock_;
    std::mutex& mutex_ = clock_.mutex();  // the clock's: a wait lets go of the bus as it blocks

    std::vector<SimNode> nodes_;  // node N is nodes_[N - 1]
    std::vector<Interface> interfaces_;
    std::map<platform::Handle, HandleState> handles_;
    platform::Handle next_handle_ = 0x100;
    std::size_t bad_closes_ = 0;
    std::vector<BusEvent> events_;

    bool interface_set_fails_ = false;
    bool node_sets_fail_ = false;
    bool event_creation_fails_ = false;
    bool enumeration_held_ = false;
};

}  // namespace vesko::platform::sim
