#include "platform/sim/sim_bus.h"

#include <algorithm>
#include <limits>

namespace vesko::platform::sim {

std::int64_t SimBus::now_ns() const {
    Lock lock(mutex_);
    return now_locked();
}

std::int64_t SimBus::now_locked() const {
    if (mode_ == TimeMode::Virtual) return virtual_now_ns_;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                origin_)
        .count();
}

void SimBus::changed_locked() {
    ++change_count_;
    // Every blocked thread must look again before the bus counts as settled.
    for (Waiter* w : waiters_) w->released = true;
    changed_.notify_all();
}

void SimBus::block_locked(Lock& lock, std::int64_t wake_ns) {
    const std::uint64_t seen = change_count_;
    if (mode_ == TimeMode::Real) {
        if (wake_ns == std::numeric_limits<std::int64_t>::max()) {
            changed_.wait(lock, [&] { return change_count_ != seen; });
        } else {
            changed_.wait_until(lock, origin_ + std::chrono::nanoseconds(wake_ns),
                                [&] { return change_count_ != seen; });
        }
        return;
    }
    if (free_running_ && wake_ns != std::numeric_limits<std::int64_t>::max()) {
        virtual_now_ns_ = std::max(virtual_now_ns_, wake_ns);
        return;
    }
    Waiter waiter{wake_ns, false};
    waiters_.push_back(&waiter);
    changed_.notify_all();  // an advance() may be waiting for this thread to block
    changed_.wait(lock, [&] { return waiter.released || free_running_; });
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &waiter));
    changed_.notify_all();
}

bool SimBus::settled_locked() const {
    return !waiters_.empty() &&
           std::none_of(waiters_.begin(), waiters_.end(), [](const Waiter* w) { return w->released; });
}

bool SimBus::wait_until_blocked(std::chrono::milliseconds real_timeout) {
    Lock lock(mutex_);
    if (mode_ != TimeMode::Virtual) return false;
    return changed_.wait_for(lock, real_timeout, [&] { return settled_locked(); });
}

bool SimBus::advance(std::chrono::milliseconds by, std::chrono::milliseconds settle_timeout) {
    Lock lock(mutex_);
    if (mode_ != TimeMode::Virtual) return false;
    const std::int64_t target =
        virtual_now_ns_ + std::chrono::duration_cast<std::chrono::nanoseconds>(by).count();
    for (;;) {
        if (!changed_.wait_for(lock, settle_timeout, [&] { return settled_locked(); })) {
            virtual_now_ns_ = std::max(virtual_now_ns_, target);
            changed_locked();
            return false;
        }
        std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
        for (const Waiter* w : waiters_) earliest = std::min(earliest, w->wake_ns);
        if (earliest > target) {
            virtual_now_ns_ = target;
            return true;
        }
        virtual_now_ns_ = std::max(virtual_now_ns_, earliest);
        for (Waiter* w : waiters_) {
            if (w->wake_ns <= virtual_now_ns_) w->released = true;
        }
        changed_.notify_all();
    }
}

void SimBus::set_free_running(bool free_running) {
    Lock lock(mutex_);
    free_running_ = free_running;
    changed_locked();
}

void SimBus::sleep_ms(std::uint32_t ms) {
    Lock lock(mutex_);
    const std::int64_t wake = now_locked() + std::int64_t{ms} * 1'000'000;
    while (now_locked() < wake) block_locked(lock, wake);
}

}  // namespace vesko::platform::sim
