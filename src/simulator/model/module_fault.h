#pragma once

// The faults a simulated module's report stream can be given.

#include <cstddef>
#include <cstdint>
#include <variant>

namespace vesko::simulator {

// Faults of the module's report stream. Each takes effect with the first
// report due at or after the moment it is given for.

// The module sends nothing for a while; its clock runs on, its seq does not.
struct Silence {
    std::int64_t duration_ns = 0;
};

// The next `count` reports arrive cut to `length` bytes; their samples are lost.
struct ShortReports {
    int count = 1;
    std::size_t length = 40;
};

// After each of the next `count` reports, one report with another ID.
struct ForeignReports {
    int count = 1;
    std::uint8_t report_id = 0x21;
};

// Each of the next `count` reports arrives twice.
struct RepeatedReports {
    int count = 1;
};

// The next `count` pairs of reports arrive in swapped order.
struct SwappedReports {
    int count = 1;
};

// The seq counter starts over from `value`.
struct SeqRestart {
    std::uint8_t value = 0;
};

// The module's clock leaps forward by `ticks` without time passing.
struct TimestampLeap {
    std::uint32_t ticks = 0;
};

using StreamFault =
    std::variant<Silence, ShortReports, ForeignReports, RepeatedReports, SwappedReports, SeqRestart, TimestampLeap>;

}  // namespace vesko::simulator
