#include "simulator/transcript.h"

namespace vesko::simulator {

Transcript::Transcript(std::FILE* copy_to) : copy_to_(copy_to), file_(std::tmpfile()) {}

Transcript::~Transcript() {
    if (file_ != nullptr) std::fclose(file_);
}

void Transcript::pump() {
    if (file_ == nullptr) return;
    std::fflush(file_);
    const long end = std::ftell(file_);
    if (end > copied_ && std::fseek(file_, copied_, SEEK_SET) == 0) {
        std::string fresh(static_cast<std::size_t>(end - copied_), '\0');
        fresh.resize(std::fread(fresh.data(), 1, fresh.size(), file_));
        copied_ += static_cast<long>(fresh.size());
        text_ += fresh;
        if (copy_to_ != nullptr) {
            std::fwrite(fresh.data(), 1, fresh.size(), copy_to_);
            std::fflush(copy_to_);
        }
    }
    std::fseek(file_, 0, SEEK_END);  // the console writes on from the end
}

}  // namespace vesko::simulator
