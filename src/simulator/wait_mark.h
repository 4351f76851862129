#pragma once

// WaitMark: whether a thread waits on the bus clock and until when, for a driver of virtual time.

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>

namespace vesko::simulator {

// What a driver of virtual time needs to know of one thread: whether it is
// waiting on the bus clock, and until when. Written by that thread around
// each of its waits, read by the driver.
class WaitMark {
public:
    static constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();

    // The thread waits until bus time `deadline_ns` (or kForever).
    void waiting_until(std::int64_t deadline_ns) { until_ = deadline_ns; }
    void at_work() { until_ = kAtWork; }

    // The deadline of the wait the thread is in; nullopt while it works.
    std::optional<std::int64_t> deadline() const {
        const std::int64_t v = until_.load();
        if (v == kAtWork) return std::nullopt;
        return v;
    }

private:
    static constexpr std::int64_t kAtWork = std::numeric_limits<std::int64_t>::min();
    std::atomic<std::int64_t> until_{kAtWork};
};

// Marks a thread as waiting for the length of one wait.
class WaitingScope {
public:
    WaitingScope(WaitMark& mark, std::int64_t deadline_ns) : mark_(mark) { mark_.waiting_until(deadline_ns); }
    ~WaitingScope() { mark_.at_work(); }
    WaitingScope(const WaitingScope&) = delete;
    WaitingScope& operator=(const WaitingScope&) = delete;

private:
    WaitMark& mark_;
};

}  // namespace vesko::simulator
