#pragma once

// printf's formatting into a std::string of whatever length it takes.

#include <cstdarg>
#include <string>

namespace vesko {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string printf_text(const char* format, ...);

std::string vprintf_text(const char* format, va_list args);

}  // namespace vesko
