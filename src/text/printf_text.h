#pragma once

// printf's formatting into a std::string of whatever length it takes.

#include <cstdarg>
#include <cstdio>
#include <string>

// Checks a printf-style function's format against its arguments, as the C
// runtime in use reads it (mingw's own printf, which knows %zu and %llu).
#if defined(__MINGW32__)
#define ROTABENCH_PRINTF(format_index, first_arg) \
    __attribute__((format(__MINGW_PRINTF_FORMAT, format_index, first_arg)))
#elif defined(__GNUC__)
#define ROTABENCH_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define ROTABENCH_PRINTF(format_index, first_arg)
#endif

namespace vesko {

ROTABENCH_PRINTF(1, 2)
std::string printf_text(const char* format, ...);

std::string vprintf_text(const char* format, va_list args);

}  // namespace vesko
