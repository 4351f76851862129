#pragma once

// SequenceFilter: drops repeated and stale samples by their 8-bit sequence counter.

#include <cstdint>

#include "imu/imu_sample.h"

namespace vesko {

enum class Admission { Accepted, Dropped };

// Passes each sample once and in order, judged by its 8-bit sequence counter:
// a repeat of the last accepted sample and anything older are dropped, a gap
// forward of up to 127 is accepted. Owned by the reader thread alone.
class SequenceFilter {
public:
    void reset() { have_last_ = false; }
    Admission admit(const ImuSample& s);

private:
    bool have_last_ = false;
    std::uint8_t last_seq_ = 0;
    std::uint32_t last_timestamp_ = 0;
};

}  // namespace vesko
