// The console window behind a C stream, and characters written to it as
// UTF-16, which it shows whatever its code page.

#include "text/console_text.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>

#include <algorithm>

namespace vesko::text {
namespace {

HANDLE console_of(std::FILE* file) {
    const int descriptor = _fileno(file);
    if (descriptor < 0) return nullptr;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || GetConsoleMode(handle, &mode) == 0) return nullptr;
    return handle;
}

}  // namespace

bool stream_is_console(std::FILE* file) { return console_of(file) != nullptr; }

void write_console(std::FILE* file, std::u16string_view text) {
    const HANDLE console = console_of(file);
    if (console == nullptr) return;
    while (!text.empty()) {
        const auto count = static_cast<DWORD>(std::min<std::size_t>(text.size(), 16 * 1024));
        DWORD written = 0;
        if (WriteConsoleW(console, reinterpret_cast<const wchar_t*>(text.data()), count, &written, nullptr) == 0 ||
            written == 0) {
            return;
        }
        text.remove_prefix(written);
    }
}

}  // namespace vesko::text
