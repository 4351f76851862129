#include "discovery/imu_candidate.h"

namespace vesko {

std::optional<std::size_t> choose_candidate(const std::vector<ImuCandidate>& candidates,
                                            std::u16string_view requested_serial) {
    std::size_t paired_count = 0;
    for (const auto& c : candidates) paired_count += c.paired ? 1 : 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const bool matches = requested_serial.empty() ? paired_count == 1 && candidates[i].paired
                                                      : candidates[i].serial == requested_serial;
        if (matches) return i;
    }
    return std::nullopt;
}

}  // namespace vesko
