#include "text/printf_text.h"

#include <cstdio>

namespace vesko {

std::string vprintf_text(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    // Sized first: a huge typed angle can make a figure of hundreds of digits.
    const int n = std::vsnprintf(nullptr, 0, format, args);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::string printf_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vprintf_text(format, args);
    va_end(args);
    return text;
}

}  // namespace vesko
