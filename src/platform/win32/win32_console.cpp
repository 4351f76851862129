// The console window on Windows: the standard output handle, the console's
// output code page, the control handler and the list of attached processes.

#include "platform/console_host.h"

#include <windows.h>

#include <atomic>

namespace vesko::platform {
namespace {

// Read on the thread the system starts for a control event.
std::atomic<UINT> code_page_on_interrupt{0};

BOOL WINAPI on_console_control(DWORD) {
    const UINT code_page = code_page_on_interrupt.load();
    if (code_page != 0) SetConsoleOutputCP(code_page);
    return FALSE;  // the next handler, in the end the default one, goes on
}

bool output_is_console() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return output != nullptr && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode) != 0;
}

void restore_code_page_on_interrupt(std::uint32_t code_page) {
    const UINT before = code_page_on_interrupt.exchange(code_page);
    if (before == 0 && code_page != 0) SetConsoleCtrlHandler(on_console_control, TRUE);
    if (before != 0 && code_page == 0) SetConsoleCtrlHandler(on_console_control, FALSE);
}

std::uint32_t attached_process_count() {
    DWORD ids[2] = {};
    return GetConsoleProcessList(ids, 2);
}

}  // namespace

ConsoleHost native_console_host() {
    ConsoleHost host;
    host.output_is_console = output_is_console;
    host.output_code_page = [] { return std::uint32_t{GetConsoleOutputCP()}; };
    host.set_output_code_page = [](std::uint32_t code_page) { SetConsoleOutputCP(code_page); };
    host.restore_code_page_on_interrupt = restore_code_page_on_interrupt;
    host.attached_process_count = attached_process_count;
    return host;
}

}  // namespace vesko::platform
