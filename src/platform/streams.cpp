#include "platform/streams.h"

#include <cstdarg>

#include "platform/printf_text.h"

namespace vesko {

void TextBuffer::append(std::string_view text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.append(text);
    if (copy_to_ != nullptr) {
        const TextSink copy(copy_to_);
        copy.write(text);
        copy.flush();
    }
}

std::string TextBuffer::text() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

void TextSink::write(std::string_view text) const {
    if (buffer_ != nullptr) {
        buffer_->append(text);
    } else if (file_ != nullptr) {
        if (file_ == stderr) std::fflush(stdout);
        std::fwrite(text.data(), 1, text.size(), file_);
    }
}

void TextSink::print(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    if (buffer_ != nullptr) {
        buffer_->append(vprintf_text(format, args));
    } else if (file_ != nullptr) {
        if (file_ == stderr) std::fflush(stdout);
        std::vfprintf(file_, format, args);
    }
    va_end(args);
}

void TextSink::flush() const {
    if (buffer_ == nullptr && file_ != nullptr) std::fflush(file_);
}

}  // namespace vesko
