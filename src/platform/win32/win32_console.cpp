// The console window on Windows: the list of attached processes.

#include "platform/console_host.h"

#include <windows.h>

namespace vesko::platform {
namespace {

std::uint32_t attached_process_count() {
    DWORD ids[2] = {};
    return GetConsoleProcessList(ids, 2);
}

}  // namespace

ConsoleHost native_console_host() {
    ConsoleHost host;
    host.attached_process_count = attached_process_count;
    return host;
}

}  // namespace vesko::platform
