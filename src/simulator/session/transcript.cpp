#include "simulator/session/transcript.h"

#include "platform/console_text.h"

namespace vesko::simulator {

void Transcript::pump() {
    const std::string fresh = buffer_.read_on(&pumped_);
    if (fresh.empty() || copy_to_ == nullptr) return;
    platform::write_text(copy_to_, fresh);
    std::fflush(copy_to_);
}

}  // namespace vesko::simulator
