#pragma once

// The clock of the platform seam: the one way time and threads enter the
// code. Monotonic nanoseconds, a sleep until a time point, and threads
// started and joined through it. On a real system it is the monotonic
// clock; on the simulated bus in virtual time it is the bus's own, which
// moves only when every thread taking part in it waits.
//
// Threads: every operation may be called from any thread. now_ns() never
// blocks; sleep_until() blocks until the clock has reached its time point;
// joining blocks until the thread has returned.

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace vesko::platform {

// Ranks of the threads of a session, for a clock that runs one thread at a
// time: at one instant the reader goes before the console, and both before
// anything else. A real clock ignores them.
inline constexpr int kReaderRank = 0;
inline constexpr int kConsoleRank = 1;
inline constexpr int kOtherRank = 2;

class Clock;

// A thread started through a clock, owned by whoever holds it. It is joined
// through the clock that started it, at join() or, at the latest, when it
// goes.
class Thread {
public:
    Thread() = default;
    Thread(Thread&& other) noexcept = default;
    Thread& operator=(Thread&& other) noexcept;
    ~Thread();

    bool joinable() const { return thread_.joinable(); }
    void join();

private:
    friend class Clock;
    Thread(Clock& clock, std::thread thread) : clock_(&clock), thread_(std::move(thread)) {}

    Clock* clock_ = nullptr;
    std::thread thread_;
};

class Clock {
public:
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    virtual ~Clock() = default;

    // Nanoseconds on this clock; never less than an earlier reading.
    virtual std::int64_t now_ns() = 0;
    // Returns once now_ns() has reached `t_ns`; at once for a time past
    // (a clock that runs one thread at a time lets the others run first).
    virtual void sleep_until(std::int64_t t_ns) = 0;

    // A new thread named `name`, of scheduling rank `rank`, running `body`.
    // Throws std::system_error when no thread can be started, as std::thread
    // does; nothing runs then.
    Thread start_thread(std::string name, int rank, std::function<void()> body) {
        return Thread(*this, launch(std::move(name), rank, std::move(body)));
    }

    // What a clock does to start and to join one of its threads. A clock
    // that stands in for another forwards them.
    virtual std::thread launch(std::string name, int rank, std::function<void()> body) = 0;
    virtual void join(std::thread& thread) = 0;
};

// The system's monotonic clock, for the whole process: nanoseconds since an
// arbitrary start; a sleep lasts until that clock has reached its time point.
Clock& monotonic_clock();

// How many threads the machine runs at once; at least 1.
unsigned processor_count();

// Runs `body(worker)` on `threads` threads at once (worker 0 on the calling
// thread) and returns when every one has returned. Throws std::system_error,
// after the workers already started have returned, when a thread cannot be
// started.
void run_on_threads(unsigned threads, const std::function<void(unsigned worker)>& body);

}  // namespace vesko::platform
