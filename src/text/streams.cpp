#include "text/streams.h"

#include <cerrno>
#include <cstdarg>

#include "text/console_text.h"
#include "text/lost_output.h"
#include "text/printf_text.h"

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

std::size_t TextBuffer::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_.size();
}

void TextSink::write(std::string_view text) const {
    if (buffer_ != nullptr) {
        buffer_->append(text);
    } else if (file_ != nullptr) {
        if (file_ == stderr) TextSink(stdout).flush();
        text::write_text(file_, text);
    }
}

void TextSink::print(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    write(vprintf_text(format, args));  // formatted first: a console takes whole characters
    va_end(args);
}

void TextSink::flush() const {
    if (buffer_ == nullptr && file_ != nullptr && std::fflush(file_) != 0) text::note_write_failure(file_, errno);
}

}  // namespace vesko
