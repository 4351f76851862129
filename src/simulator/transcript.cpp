#include "simulator/transcript.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

namespace vesko::simulator {
namespace {

// A file of this process's own in the temporary folder.
std::string fresh_path() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return (std::filesystem::temp_directory_path() /
            ("rotabench-sim-" + std::to_string(stamp) + "-" + std::to_string(counter++) + ".txt"))
        .string();
}

}  // namespace

Transcript::Transcript(std::FILE* copy_to) : copy_to_(copy_to), path_(fresh_path()) {
    file_ = std::fopen(path_.c_str(), "wb");
    reader_ = file_ != nullptr ? std::fopen(path_.c_str(), "rb") : nullptr;
    if (reader_ == nullptr && file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(path_.c_str());
    }
}

Transcript::~Transcript() {
    if (file_ == nullptr) return;
    std::fclose(reader_);
    std::fclose(file_);
    std::remove(path_.c_str());
}

void Transcript::pump() {
    if (file_ == nullptr) return;
    std::fflush(file_);
    // From where the last pump stopped: a seek also drops whatever the reading
    // handle had buffered, so what was written since is read afresh.
    if (std::fseek(reader_, static_cast<long>(text_.size()), SEEK_SET) != 0) return;
    char chunk[4096];
    std::string fresh;
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, reader_)) > 0;) fresh.append(chunk, n);
    std::clearerr(reader_);  // more may come
    if (fresh.empty()) return;
    text_ += fresh;
    if (copy_to_ != nullptr) {
        std::fwrite(fresh.data(), 1, fresh.size(), copy_to_);
        std::fflush(copy_to_);
    }
}

}  // namespace vesko::simulator
