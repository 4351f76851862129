#include "simulator/virtual_time_driver.h"

#include <algorithm>
#include <chrono>

namespace vesko::simulator {
namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kStepNs = 2 * kMs;
constexpr std::int64_t kFallbackStepNs = 100 * kMs;
constexpr auto kPatience = std::chrono::milliseconds(20);

}  // namespace

std::optional<std::int64_t> next_clock_stop(std::int64_t now_ns, std::optional<std::int64_t> console_deadline,
                                            std::optional<std::int64_t> reader_deadline, bool report_waiting,
                                            std::int64_t max_step_ns) {
    if (!console_deadline || !reader_deadline || report_waiting) return std::nullopt;
    const std::int64_t stop = std::min({now_ns + max_step_ns, *console_deadline, *reader_deadline});
    if (stop <= now_ns) return std::nullopt;
    return stop;
}

VirtualTimeDriver::VirtualTimeDriver(platform::sim::SimBus& bus, const WaitMark& console, const WaitMark& reader,
                                     const std::vector<PlacedModule>& modules)
    : bus_(bus), console_(console), reader_(reader), modules_(modules), thread_([this] { run(); }) {}

VirtualTimeDriver::~VirtualTimeDriver() {
    done_ = true;
    thread_.join();
}

bool VirtualTimeDriver::report_waiting(std::int64_t now_ns) const {
    return std::any_of(modules_.begin(), modules_.end(),
                       [now_ns](const PlacedModule& m) { return m.model->report_left_waiting(now_ns); });
}

void VirtualTimeDriver::run() {
    while (!done_) {
        const auto give_up = std::chrono::steady_clock::now() + kPatience;
        std::int64_t now = bus_.now_ns();
        std::optional<std::int64_t> stop;
        while (!done_) {
            now = bus_.now_ns();
            stop = next_clock_stop(now, console_.deadline(), reader_.deadline(), report_waiting(now), kStepNs);
            if (stop || std::chrono::steady_clock::now() >= give_up) break;
            std::this_thread::yield();
        }
        if (done_) break;
        if (!stop) {
            // A thread has been at work too long to be waited for.
            const auto reader = reader_.deadline();
            stop = reader && *reader > now ? std::min(*reader, now + kFallbackStepNs) : now + kStepNs;
        }
        const auto by = std::chrono::milliseconds((*stop - now + kMs - 1) / kMs);
        bus_.advance(by, std::chrono::milliseconds(200));
    }
}

}  // namespace vesko::simulator
