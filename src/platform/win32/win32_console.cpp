// The console window on Windows: the standard input handle and the list of
// attached processes.

#include "platform/console_host.h"

#include <windows.h>

namespace vesko::platform {
namespace {

bool input_is_console() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode) != 0;
}

std::uint32_t attached_process_count() {
    DWORD ids[2] = {};
    return GetConsoleProcessList(ids, 2);
}

}  // namespace

ConsoleHost native_console_host() {
    ConsoleHost host;
    host.input_is_console = input_is_console;
    host.attached_process_count = attached_process_count;
    return host;
}

}  // namespace vesko::platform
