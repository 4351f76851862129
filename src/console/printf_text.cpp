#include "console/printf_text.h"

#include <cstdarg>
#include <cstdio>

namespace vesko {

std::string printf_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    // Sized first: a huge typed angle can make a figure of hundreds of digits.
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

}  // namespace vesko
