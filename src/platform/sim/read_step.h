#pragma once

// ReadStep: a scripted outcome of one read on a simulated HID interface.

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

namespace vesko::platform::sim {

// What one read on a simulated HID interface does. An interface plays its
// queued steps in order, one per read; with none queued it reads from its
// report source, or stays silent when it has none.
struct ReadStep {
    enum class Kind {
        Completed,       // finishes at once with `report`
        Silent,          // pending; ends only when cancelled (the wait times out)
        Failed,          // fails at once with `error`
        CompletedLater,  // pending, finishes with `report` after `delay_ns`
        FailedLater,     // pending, fails with `error` after `delay_ns`
    };

    Kind kind = Kind::Silent;
    std::vector<std::uint8_t> report;
    std::uint32_t error = 0;
    std::int64_t delay_ns = 0;

    static ReadStep completed(std::vector<std::uint8_t> report) { return {Kind::Completed, std::move(report), 0, 0}; }
    static ReadStep silent() { return {Kind::Silent, {}, 0, 0}; }
    static ReadStep failed(std::uint32_t error) { return {Kind::Failed, {}, error, 0}; }
    static ReadStep completed_after(std::chrono::milliseconds delay, std::vector<std::uint8_t> report) {
        return {Kind::CompletedLater, std::move(report), 0, to_ns(delay)};
    }
    static ReadStep failed_after(std::chrono::milliseconds delay, std::uint32_t error) {
        return {Kind::FailedLater, {}, error, to_ns(delay)};
    }

private:
    static std::int64_t to_ns(std::chrono::milliseconds d) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    }
};

}  // namespace vesko::platform::sim
