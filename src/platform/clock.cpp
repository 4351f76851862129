#include "platform/clock.h"

#include <chrono>
#include <system_error>
#include <vector>

namespace vesko::platform {
namespace {

class MonotonicClock final : public Clock {
public:
    std::int64_t now_ns() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    void sleep_until(std::int64_t t_ns) override {
        // A sleep may end early (a signal, the system's own rounding): it
        // lasts until the clock itself says the time has come.
        for (std::int64_t now = now_ns(); now < t_ns; now = now_ns()) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(t_ns - now));
        }
    }

    std::thread launch(std::string, int, std::function<void()> body) override { return std::thread(std::move(body)); }

    void join(std::thread& thread) override { thread.join(); }
};

}  // namespace

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        if (joinable()) join();
        clock_ = other.clock_;
        thread_ = std::move(other.thread_);
    }
    return *this;
}

Thread::~Thread() {
    if (joinable()) join();
}

void Thread::join() {
    if (joinable()) clock_->join(thread_);
}

Clock& monotonic_clock() {
    static MonotonicClock clock;
    return clock;
}

unsigned processor_count() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

void run_on_threads(unsigned threads, const std::function<void(unsigned worker)>& body) {
    std::vector<std::thread> pool;
    std::system_error failed{std::error_code{}};
    bool started = true;
    for (unsigned w = 1; w < threads && started; ++w) {
        try {
            pool.emplace_back(body, w);
        } catch (const std::system_error& e) {
            failed = e;
            started = false;
        }
    }
    if (started) body(0);
    for (std::thread& t : pool) t.join();
    if (!started) throw failed;
}

}  // namespace vesko::platform
