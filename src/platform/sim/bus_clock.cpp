#include "platform/sim/bus_clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <tuple>
#include <utility>

namespace vesko::platform::sim {
namespace {

std::atomic<DeadlockHook> deadlock_hook{nullptr};

}  // namespace

void set_deadlock_hook(DeadlockHook hook) { deadlock_hook.store(hook); }

BusClock::BusClock(TimeMode mode) : mode_(mode), origin_ns_(platform::monotonic_clock().now_ns()) {}

std::int64_t BusClock::now_ns() {
    Lock lock(mutex_);
    return now_locked();
}

std::int64_t BusClock::now_locked() const {
    if (mode_ == TimeMode::Virtual) return virtual_now_ns_;
    return platform::monotonic_clock().now_ns() - origin_ns_;
}

void BusClock::mark_if_locked(const std::function<bool(const WaitOn&)>& concerned) {
    if (mode_ == TimeMode::Real) {
        ++change_count_;
        changed_.notify_all();
        return;
    }
    for (Participant& p : participants_) {
        if (p.state == Participant::State::Blocked && concerned(p.on)) p.marked = true;
    }
    schedule_locked();
}

BusClock::Participant* BusClock::self_locked() {
    const std::thread::id me = std::this_thread::get_id();
    for (Participant& p : participants_) {
        if (p.thread == me) return &p;
    }
    return nullptr;
}

void BusClock::misuse(const char* what) {
    std::fprintf(stderr, "simulated bus: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void BusClock::block_locked(Lock& lock, std::int64_t wake_ns, WaitOn on) {
    if (mode_ == TimeMode::Real) {
        const std::uint64_t seen = change_count_;
        if (wake_ns == kNever) {
            changed_.wait(lock, [&] { return change_count_ != seen; });
        } else {
            // The monotonic clock's time point (it counts the steady clock's
            // nanoseconds): the caller reads the clock again and blocks
            // again when it has not reached it.
            using Steady = std::chrono::steady_clock;
            const Steady::time_point until{
                std::chrono::duration_cast<Steady::duration>(std::chrono::nanoseconds(origin_ns_ + wake_ns))};
            changed_.wait_until(lock, until, [&] { return change_count_ != seen; });
        }
        return;
    }
    Participant* self = self_locked();
    if (self == nullptr) misuse("a thread that takes no part in virtual time waits on its clock");
    self->state = Participant::State::Blocked;
    self->wake_ns = wake_ns;
    self->on = on;
    self->released = false;
    self->marked = false;
    schedule_locked();
    self->go.wait(lock, [self] { return self->released; });
    self->state = Participant::State::Running;
    self->released = false;
}

void BusClock::schedule_locked() {
    if (mode_ != TimeMode::Virtual) return;
    using State = Participant::State;
    bool blocked = false;
    for (const Participant& p : participants_) {
        if (p.state == State::Running || p.released) return;  // someone runs; the clock holds
        blocked = blocked || p.state == State::Blocked;
    }
    // First whatever was woken at this instant, lowest rank first.
    Participant* next = nullptr;
    const auto before = [](const Participant& a, const Participant& b) {
        return std::tie(a.rank, a.order) < std::tie(b.rank, b.order);
    };
    for (Participant& p : participants_) {
        if (p.state == State::Starting || p.marked) {
            if (next == nullptr || before(p, *next)) next = &p;
        }
    }
    if (next == nullptr) {
        // Then the clock: the earliest deadline.
        for (Participant& p : participants_) {
            if (p.state != State::Blocked || p.wake_ns == kNever) continue;
            if (next == nullptr || p.wake_ns < next->wake_ns || (p.wake_ns == next->wake_ns && before(p, *next))) {
                next = &p;
            }
        }
        if (next == nullptr) {
            if (!blocked) return;  // nobody takes part any more
            const std::string report = deadlock_report_locked();
            std::fputs(report.c_str(), stderr);
            std::fflush(stderr);
            if (const DeadlockHook hook = deadlock_hook.load()) hook(report.c_str());
            std::_Exit(kDeadlockExitCode);
        }
        virtual_now_ns_ = std::max(virtual_now_ns_, next->wake_ns);
    }
    next->released = true;
    next->marked = false;
    next->go.notify_one();
}

std::string BusClock::deadlock_report_locked() const {
    std::string report;
    char line[160];
    std::snprintf(line, sizeof line, "simulated bus: deadlock at t=%.6f s of virtual time: no thread can run again\n",
                  static_cast<double>(virtual_now_ns_) / 1e9);
    report += line;
    for (const Participant& p : participants_) {
        std::string what;
        switch (p.on.kind) {
            case WaitOn::Kind::Time: what = "sleeps for ever"; break;
            case WaitOn::Kind::Event:
                std::snprintf(line, sizeof line, "waits for event 0x%" PRIxPTR ", with no time-out", p.on.handle);
                what = line;
                break;
            case WaitOn::Kind::ReadEnd:
                std::snprintf(line, sizeof line, "waits for the read on handle 0x%" PRIxPTR " to end", p.on.handle);
                what = line;
                break;
            case WaitOn::Kind::Enumeration: what = "waits in an enumeration held by the test"; break;
            case WaitOn::Kind::ThreadEnd: {
                what = "waits for a thread to end";
                for (const Participant& q : participants_) {
                    if (q.thread == p.on.thread) what = "waits for thread '" + q.name + "' to end";
                }
                break;
            }
        }
        report += "  " + p.name + ": " + what + "\n";
    }
    return report;
}

BusClock::Participant& BusClock::add_participant_locked(std::string name, int rank, Participant::State state) {
    Participant& p = participants_.emplace_back();
    p.name = std::move(name);
    p.rank = rank;
    p.order = next_order_++;
    p.state = state;
    return p;
}

BusClock::Participation::Participation(BusClock& clock, std::string name, int rank) : clock_(clock) {
    Lock lock(clock_.mutex_);
    if (clock_.mode_ != TimeMode::Virtual) return;
    clock_.add_participant_locked(std::move(name), rank, Participant::State::Running).thread =
        std::this_thread::get_id();
}

BusClock::Participation::~Participation() {
    Lock lock(clock_.mutex_);
    if (clock_.mode_ != TimeMode::Virtual) return;
    if (Participant* self = clock_.self_locked()) clock_.leave_locked(*self);
}

void BusClock::leave_locked(Participant& p) {
    const std::thread::id gone = p.thread;
    participants_.remove_if([&p](const Participant& q) { return &q == &p; });
    for (Participant& q : participants_) {
        if (q.state == Participant::State::Blocked && q.on.kind == WaitOn::Kind::ThreadEnd && q.on.thread == gone) {
            q.marked = true;
        }
    }
    schedule_locked();
}

std::thread BusClock::launch(std::string name, int rank, std::function<void()> body) {
    if (mode_ != TimeMode::Virtual) return std::thread(std::move(body));
    Participant* p = nullptr;
    {
        Lock lock(mutex_);
        p = &add_participant_locked(std::move(name), rank, Participant::State::Starting);
    }
    try {
        std::thread thread([this, p, body = std::move(body)] {
            {
                Lock lock(mutex_);
                p->thread = std::this_thread::get_id();
                p->go.wait(lock, [p] { return p->released; });
                p->state = Participant::State::Running;
                p->released = false;
            }
            body();
            Lock lock(mutex_);
            leave_locked(*p);
        });
        Lock lock(mutex_);
        p->thread = thread.get_id();  // before it first runs, for join()
        schedule_locked();            // a starter outside the session leaves it to run at once
        return thread;
    } catch (...) {
        Lock lock(mutex_);
        participants_.remove_if([p](const Participant& q) { return &q == p; });
        throw;
    }
}

void BusClock::join(std::thread& thread) {
    if (mode_ == TimeMode::Virtual) {
        Lock lock(mutex_);
        const std::thread::id id = thread.get_id();
        const auto taking_part = [&] {
            return std::any_of(participants_.begin(), participants_.end(),
                               [id](const Participant& p) { return p.thread == id; });
        };
        while (taking_part()) {
            WaitOn on;
            on.kind = WaitOn::Kind::ThreadEnd;
            on.thread = id;
            block_locked(lock, kNever, on);
        }
    }
    thread.join();
}

void BusClock::sleep_until(std::int64_t t_ns) {
    Lock lock(mutex_);
    if (mode_ == TimeMode::Virtual) block_locked(lock, std::max(t_ns, now_locked()), WaitOn{});
    while (now_locked() < t_ns) block_locked(lock, t_ns, WaitOn{});
}

}  // namespace vesko::platform::sim
