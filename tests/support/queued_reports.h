#pragma once

// QueuedReports: a simulated HID interface's report source fed by a test,
// each report due at once.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/sim/report_source.h"

namespace vesko::test {

// The bus asks it under its own lock; a test fills it under the source's
// lock alone and tells the bus afterwards (notify_source_changed), so the two
// locks are only ever taken bus first.
class QueuedReports final : public platform::sim::ReportSource {
public:
    void push(std::vector<std::uint8_t> report) {
        std::lock_guard<std::mutex> lock(mutex_);
        reports_.push_back(std::move(report));
    }
    std::optional<std::int64_t> next_report_time() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reports_.empty()) return std::nullopt;
        return std::int64_t{0};
    }
    std::size_t take_report(std::int64_t, std::uint8_t* buffer, std::size_t capacity) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reports_.empty()) return 0;
        const std::vector<std::uint8_t> report = std::move(reports_.front());
        reports_.pop_front();
        const std::size_t n = std::min(report.size(), capacity);
        std::copy_n(report.begin(), n, buffer);
        return n;
    }

private:
    std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> reports_;
};

}  // namespace vesko::test
