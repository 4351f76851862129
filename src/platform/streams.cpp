#include "platform/streams.h"

#include <algorithm>
#include <cstdarg>

#include "platform/console_text.h"
#include "platform/printf_text.h"

namespace vesko {

void TextBuffer::append(std::string_view text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.append(text);
}

std::string TextBuffer::text() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

std::string TextBuffer::read_on(std::size_t* position) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t from = std::min(*position, text_.size());
    *position = text_.size();
    return text_.substr(from);
}

void TextSink::write(std::string_view text) const {
    if (buffer_ != nullptr) {
        buffer_->append(text);
    } else if (file_ != nullptr) {
        platform::write_text(file_, text);
    }
}

void TextSink::print(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    write(vprintf_text(format, args));  // formatted first: a console takes whole characters
    va_end(args);
}

void TextSink::flush() const {
    if (buffer_ == nullptr && file_ != nullptr) std::fflush(file_);
}

}  // namespace vesko
