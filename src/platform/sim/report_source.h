#pragma once

// ReportSource: what plays a simulated HID interface's input reports on the bus clock.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vesko::platform::sim {

// Plays the input reports of one simulated module's HID interface. The bus
// asks it, on the reading thread, when the next report is due and takes the
// report once that time has come. Times are nanoseconds of the bus clock
// (virtual time, or the monotonic clock when the bus runs in real time).
// Implementations must be safe against a second thread commanding them.
class ReportSource {
public:
    ReportSource() = default;
    ReportSource(const ReportSource&) = delete;
    ReportSource& operator=(const ReportSource&) = delete;
    virtual ~ReportSource() = default;

    // Bus time at which the next report is ready; nullopt while the source
    // has nothing scheduled (silent until something changes). The answer may
    // move later (a commanded silence), so a waiting reader asks again.
    virtual std::optional<std::int64_t> next_report_time() = 0;

    // Takes the next report, due at or before now_ns, into `buffer` and
    // returns its length (at most `capacity`, the read's size).
    virtual std::size_t take_report(std::int64_t now_ns, std::uint8_t* buffer, std::size_t capacity) = 0;
};

}  // namespace vesko::platform::sim
