#include "simulator/paced_platform.h"

namespace vesko::simulator {

platform::WaitStatus PacedPlatform::wait(platform::Handle event, std::uint32_t timeout_ms) {
    const WaitingScope waiting(reader_, bus_.now_ns() + std::int64_t{timeout_ms} * 1'000'000);
    return bus_.wait(event, timeout_ms);
}

platform::ReadOutcome PacedPlatform::read_result(platform::Handle device, platform::OverlappedRecord& record,
                                                 bool wait_for_end) {
    if (!wait_for_end) return bus_.read_result(device, record, false);
    const WaitingScope waiting(reader_, WaitMark::kForever);
    return bus_.read_result(device, record, true);
}

void PacedPlatform::sleep_ms(std::uint32_t ms) {
    const WaitingScope waiting(reader_, bus_.now_ns() + std::int64_t{ms} * 1'000'000);
    bus_.sleep_ms(ms);
}

}  // namespace vesko::simulator
