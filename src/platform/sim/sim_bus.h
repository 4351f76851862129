#pragma once

// An in-memory USB bus behind the platform seam: device nodes with parents,
// instance IDs and location paths; HID interfaces with device paths,
// attributes and serial numbers; handles with one overlapped read at a time,
// played from a script of read steps or fed by a report source; interfaces
// that leave the bus and come back.
//
// Time is the bus clock in nanoseconds. In Real mode it is the steady clock
// since the bus was made. In Virtual mode it is a count that moves only when
// every thread taking part in the session (a participant: the console's, the
// reader's, any other the test or simulator starts through start_thread) is
// blocked in a wait or sleep of the bus. It then moves to the earliest
// deadline among them and releases that one thread (ties: lower rank first,
// then the earlier participant). Whatever else wakes a participant (an event
// set, a read ended, a change of the bus, a new thread, a thread that ended)
// only marks it; marked threads are released one at a time, lowest rank
// first, each after the one before has blocked again, and all before the
// clock moves. So exactly one participant runs at a time, and a session is a
// function of what its threads do, never of how the system schedules them.
// Nothing in Virtual mode reads real time or times out. When no participant
// can ever run again (all blocked, none with a deadline) the bus reports
// what each one waits on and ends the process.
//
// Threads: every operation may be called from any thread; one mutex guards
// the whole bus. Report sources are asked under that mutex, so a source must
// not call into the bus while it holds a lock of its own.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/read_step.h"
#include "platform/sim/report_source.h"

namespace vesko::platform::sim {

enum class TimeMode { Virtual, Real };

// Ranks of the participants of a session: at one instant the reader goes
// before the console, and both before anything else.
inline constexpr int kReaderRank = 0;
inline constexpr int kConsoleRank = 1;
inline constexpr int kOtherRank = 2;

// The exit code of a simulated program whose virtual time deadlocked.
inline constexpr int kDeadlockExitCode = 4;

// Heard, when set, with the deadlock's report (already on standard error)
// just before the deadlocked program ends: what runs many sessions names the
// ones it had in flight. One for the process; null: none.
using DeadlockHook = void (*)(const char* report);
void set_deadlock_hook(DeadlockHook hook);

// One node of the device tree as its queries will answer.
struct SimNode {
    std::optional<platform::DevNode> parent;  // none at a root
    std::u16string instance_id;  // returned with a NUL while it fits in 200 units;
                                 // exactly 200 come back without one, more fail
    std::optional<std::u16string> location_paths;  // the property value (texts each
                                                   // ending in NUL); none: no property
    bool present = true;
    bool parent_query_fails = false;
    bool id_query_fails = false;
};

// One HID interface as its queries will answer.
struct SimHidInterface {
    std::u16string path;           // device path, exactly as the detail read gives it
    platform::DevNode node = 0;    // device node of the interface's device
    bool detail_ok = true;         // false: the detail read fails
    bool open_fails = false;       // e.g. another process holds it exclusively
    std::optional<platform::HidAttributes> attributes;  // none: the query fails
    std::u16string serial;         // serial units; the query pads them with zeros
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
    TimeMode time_mode() const { return mode_; }
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
    std::int64_t now_ns() const;
    // Sleeps until bus time `t_ns`. In Virtual mode it blocks at least once,
    // even for a time already past, so the other participants do what they
    // can at this instant first.
    void sleep_until(std::int64_t t_ns);

    // The calling thread takes part in virtual time while this object lives,
    // and counts as running from the start. Nothing in Real mode.
    class Participation {
    public:
        Participation(SimBus& bus, std::string name, int rank);
        ~Participation();
        Participation(const Participation&) = delete;
        Participation& operator=(const Participation&) = delete;

    private:
        SimBus& bus_;
    };

    // A new thread running `body` as a participant: it runs for the first
    // time when the clock would otherwise move, and leaves when `body`
    // returns. In Real mode a plain thread. Throws std::system_error as
    // std::thread does.
    std::thread start_thread(std::string name, int rank, std::function<void()> body);
    // Joins a thread of start_thread(); in Virtual mode the caller, a
    // participant, waits as a blocked one until that thread has left.
    void join_thread(std::thread& thread);

    // --- the platform -------------------------------------------------------
    std::optional<std::vector<platform::DevNode>> nodes_under_enumerator(
        std::u16string_view enumerator) override;
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
    platform::ReadIssue begin_read(platform::Handle device, platform::Handle event,
                                   platform::OverlappedRecord& record, std::uint8_t* buffer,
                                   std::uint32_t length) override;
    platform::WaitStatus wait(platform::Handle event, std::uint32_t timeout_ms) override;
    void cancel_read(platform::Handle device, platform::OverlappedRecord& record) override;
    void cancel_all_reads(platform::Handle device) override;
    platform::ReadOutcome read_result(platform::Handle device, platform::OverlappedRecord& record,
                                      bool wait_for_end) override;
    void set_event(platform::Handle event) override;
    void sleep_ms(std::uint32_t ms) override;

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
        bool signalled = false;         // events
        std::size_t iface = 0;          // devices
        std::uint32_t generation = 0;   // devices: the interface's at open
        std::optional<ActiveRead> read; // devices
    };
    // What a blocked participant waits for besides its deadline.
    struct WaitOn {
        enum class Kind { Time, Event, ReadEnd, Enumeration, ThreadEnd };
        Kind kind = Kind::Time;
        platform::Handle handle = 0;  // Event: the event; ReadEnd: the device
        std::thread::id thread;       // ThreadEnd

        static WaitOn of(Kind kind, platform::Handle handle = 0) {
            WaitOn on;
            on.kind = kind;
            on.handle = handle;
            return on;
        }
    };
    struct Participant {
        std::string name;
        int rank = 0;
        std::uint64_t order = 0;      // registration order, the last tie-break
        std::thread::id thread;
        enum class State { Starting, Running, Blocked } state = State::Running;
        bool released = false;        // Starting or Blocked: may go on
        bool marked = false;          // Blocked: something it waits for may have come
        std::int64_t wake_ns = 0;     // Blocked: deadline (kNever: none)
        WaitOn on;                    // Blocked
        std::condition_variable go;
    };
    using Lock = std::unique_lock<std::mutex>;
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    std::int64_t now_locked() const;
    // Something changed that threads waiting on events, reads or the
    // enumeration must look at again.
    void changed_locked();
    // Marks the blocked participants waiting on `kind` (on that event, for
    // Event), or those `concerned`; in Real mode wakes every waiting thread.
    void mark_locked(WaitOn::Kind kind, platform::Handle handle = 0);
    void mark_if_locked(const std::function<bool(const WaitOn&)>& concerned);
    Participant& add_participant_locked(std::string name, int rank, Participant::State state);
    // Blocks the calling thread until the bus clock reaches `wake_ns` or it
    // is woken to look again; the caller looks again in either case.
    void block_locked(Lock& lock, std::int64_t wake_ns, WaitOn on);
    Participant* self_locked();
    // Virtual mode: when no participant runs, releases the next one.
    void schedule_locked();
    void leave_locked(Participant& p);
    [[noreturn]] void misuse_locked(const char* what);
    std::string deadlock_report_locked() const;
    void log_locked(BusEvent::Kind kind, platform::Handle handle, std::u16string path = {});

    const SimNode* node_locked(platform::DevNode node) const;
    HandleState* device_locked(platform::Handle device);
    bool device_alive_locked(const HandleState& h) const;
    void signal_locked(platform::Handle event);
    void finish_locked(ActiveRead& read, bool ok, std::uint32_t bytes, std::uint32_t error);
    void pump_locked(platform::Handle event);
    void cancel_locked(HandleState& h);
    std::optional<std::int64_t> next_finish_locked(platform::Handle event);

    mutable std::mutex mutex_;
    std::condition_variable changed_;  // Real mode: anything changed
    const TimeMode mode_;
    const std::chrono::steady_clock::time_point origin_;
    std::int64_t virtual_now_ns_ = 0;
    std::uint64_t change_count_ = 0;
    std::list<Participant> participants_;  // Virtual mode
    std::uint64_t next_order_ = 0;

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
