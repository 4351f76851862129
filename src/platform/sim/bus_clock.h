#pragma once

// BusClock: the clock of a simulated bus, and every wait of the bus blocks
// through it.
//
// In Real mode it is the monotonic clock, counted from when the bus was
// made. In Virtual mode it is a count that moves only when every thread
// taking part in the session (a participant: the console's, the reader's,
// any other started through start_thread) is blocked in a wait or sleep of
// the clock. It then moves to the earliest deadline among them and releases
// that one thread (ties: lower rank first, then the earlier participant).
// Whatever else wakes a participant (an event set, a read ended, a change of
// the bus, a new thread, a thread that ended) only marks it; marked threads
// are released one at a time, lowest rank first, each after the one before
// has blocked again, and all before the clock moves. So exactly one
// participant runs at a time, and a session is a function of what its
// threads do, never of how the system schedules them. Nothing in Virtual
// mode reads real time or times out. When no participant can ever run again
// (all blocked, none with a deadline) the clock reports what each one waits
// on and ends the process.
//
// Threads: one mutex, mutex(), guards the clock and the bus that blocks
// through it; the operations ending in _locked are called with it held.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"

namespace vesko::platform::sim {

enum class TimeMode { Virtual, Real };

// The exit code of a simulated program whose virtual time deadlocked.
inline constexpr int kDeadlockExitCode = 4;

// Heard, when set, with the deadlock's report (already on standard error)
// just before the deadlocked program ends: what runs many sessions names the
// ones it had in flight. One for the process; null: none.
using DeadlockHook = void (*)(const char* report);
void set_deadlock_hook(DeadlockHook hook);

// What a blocked participant waits for besides its deadline, as a deadlock
// report names it.
struct WaitOn {
    enum class Kind { Time, Event, ReadEnd, Enumeration, ThreadEnd };
    Kind kind = Kind::Time;
    std::uintptr_t handle = 0;  // Event: the event; ReadEnd: the device
    std::thread::id thread;     // ThreadEnd

    static WaitOn of(Kind kind, std::uintptr_t handle = 0) {
        WaitOn on;
        on.kind = kind;
        on.handle = handle;
        return on;
    }
};

class BusClock final : public platform::Clock {
public:
    using Lock = std::unique_lock<std::mutex>;
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    explicit BusClock(TimeMode mode);
    TimeMode mode() const { return mode_; }

    std::int64_t now_ns() override;
    // In Virtual mode it blocks at least once, even for a time already past,
    // so the other participants do what they can at this instant first.
    void sleep_until(std::int64_t t_ns) override;
    // A new thread as a participant: it runs for the first time when the
    // clock would otherwise move, and leaves when `body` returns. In Real
    // mode a plain thread.
    std::thread launch(std::string name, int rank, std::function<void()> body) override;
    // In Virtual mode the caller, a participant, waits as a blocked one until
    // that thread has left.
    void join(std::thread& thread) override;

    // The calling thread takes part in virtual time while this object lives,
    // and counts as running from the start. Nothing in Real mode.
    class Participation {
    public:
        Participation(BusClock& clock, std::string name, int rank);
        ~Participation();
        Participation(const Participation&) = delete;
        Participation& operator=(const Participation&) = delete;

    private:
        BusClock& clock_;
    };

    // --- for the bus, with mutex() held ---------------------------------------
    std::mutex& mutex() const { return mutex_; }
    std::int64_t now_locked() const;
    // Blocks the calling thread until the clock reaches `wake_ns` or it is
    // woken to look again; the caller looks again in either case.
    void block_locked(Lock& lock, std::int64_t wake_ns, WaitOn on);
    // Marks the blocked participants whose wait is `concerned`; in Real mode
    // wakes every waiting thread.
    void mark_if_locked(const std::function<bool(const WaitOn&)>& concerned);
    [[noreturn]] static void misuse(const char* what);

private:
    struct Participant {
        std::string name;
        int rank = 0;
        std::uint64_t order = 0;  // registration order, the last tie-break
        std::thread::id thread;
        enum class State { Starting, Running, Blocked } state = State::Running;
        bool released = false;     // Starting or Blocked: may go on
        bool marked = false;       // Blocked: something it waits for may have come
        std::int64_t wake_ns = 0;  // Blocked: deadline (kNever: none)
        WaitOn on;                 // Blocked
        std::condition_variable go;
    };

    Participant& add_participant_locked(std::string name, int rank, Participant::State state);
    Participant* self_locked();
    // Virtual mode: when no participant runs, releases the next one.
    void schedule_locked();
    void leave_locked(Participant& p);
    std::string deadlock_report_locked() const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;  // Real mode: anything changed
    const TimeMode mode_;
    const std::int64_t origin_ns_;  // Real mode: the monotonic clock when the bus was made
    std::int64_t virtual_now_ns_ = 0;
    std::uint64_t change_count_ = 0;
    std::list<Participant> participants_;  // Virtual mode
    std::uint64_t next_order_ = 0;
};

}  // namespace vesko::platform::sim
