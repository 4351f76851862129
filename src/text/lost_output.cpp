#include "text/lost_output.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "text/console_text.h"

namespace vesko::text {
namespace {

// A stream that lost bytes: why, and whether the program has said so.
struct Loss {
    std::FILE* file;
    int error;
    bool told;
};

std::mutex losses_mutex;
std::vector<Loss> losses;

Loss* loss_of(std::FILE* file) {
    for (Loss& l : losses)
        if (l.file == file) return &l;
    return nullptr;
}

std::string reason_text(int error) { return error != 0 ? std::strerror(error) : "not every byte was written"; }

// What flushing `file` shows: lost or not, and the first reason kept for it.
std::optional<std::string> flushed(std::FILE* file) {
    errno = 0;
    const bool flush_failed = std::fflush(file) != 0;
    const int flush_error = errno;
    const bool failed_before = std::ferror(file) != 0;
    if (flush_failed) note_write_failure(file, flush_error);
    const std::lock_guard<std::mutex> lock(losses_mutex);
    const Loss* loss = loss_of(file);
    if (!flush_failed && !failed_before && loss == nullptr) return std::nullopt;
    return reason_text(loss != nullptr ? loss->error : flush_error);
}

}  // namespace

void note_write_failure(std::FILE* file, int error) {
    const std::lock_guard<std::mutex> lock(losses_mutex);
    if (loss_of(file) == nullptr) losses.push_back(Loss{file, error, false});
}

std::optional<std::string> flush_output(std::FILE* file) { return flushed(file); }

std::optional<std::string> close_output(std::FILE* file) {
    std::optional<std::string> lost = flushed(file);
    {
        // The stream goes; another may be given its address.
        const std::lock_guard<std::mutex> lock(losses_mutex);
        std::erase_if(losses, [file](const Loss& l) { return l.file == file; });
    }
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    const int close_error = errno;
    // Nothing held back and nothing failed: a descriptor never open lost nothing.
    if (!lost && !closed && close_error != EBADF) lost = reason_text(close_error);
    return lost;
}

bool output_kept(std::FILE* file, bool close, const char* program, const std::string& destination, std::FILE* err) {
    bool told = false;
    {
        // Asked before a close forgets the stream.
        const std::lock_guard<std::mutex> lock(losses_mutex);
        if (const Loss* loss = loss_of(file)) told = loss->told;
    }
    const std::optional<std::string> lost = close ? close_output(file) : flush_output(file);
    if (!lost) return true;
    if (!close) {
        const std::lock_guard<std::mutex> lock(losses_mutex);
        if (Loss* loss = loss_of(file)) loss->told = true;
        else losses.push_back(Loss{file, 0, true});
    }
    if (!told) write_text(err, std::string(program) + ": " + destination + ": " + *lost + "\n");
    return false;
}

}  // namespace vesko::text
