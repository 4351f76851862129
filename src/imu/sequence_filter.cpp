#include "imu/sequence_filter.h"

namespace vesko {

Admission SequenceFilter::admit(const ImuSample& s) {
    if (have_last_) {
        const auto d = static_cast<std::uint8_t>(s.seq - last_seq_);
        if (d == 0 && s.timestamp == last_timestamp_) return Admission::Dropped;
        if (d >= 128) return Admission::Dropped;
    }
    have_last_ = true;
    last_seq_ = s.seq;
    last_timestamp_ = s.timestamp;
    return Admission::Accepted;
}

}  // namespace vesko
