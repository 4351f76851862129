#include "simulator/session/transcript.h"

namespace vesko::simulator {

void Transcript::pump() {
    const std::string fresh = buffer_.read_on(&pumped_);
    if (fresh.empty() || copy_to_ == nullptr) return;
    std::fwrite(fresh.data(), 1, fresh.size(), copy_to_);
    std::fflush(copy_to_);
}

}  // namespace vesko::simulator
