#include "platform/console_host.h"

namespace vesko::platform {

// A terminal on Linux takes the bytes as they are written and outlives the
// program, so there is no console to set up or to keep open.
ConsoleHost native_console_host() {
    ConsoleHost host;
    host.output_is_console = [] { return false; };
    host.output_code_page = [] { return std::uint32_t{0}; };
    host.set_output_code_page = [](std::uint32_t) {};
    host.restore_code_page_on_interrupt = [](std::uint32_t) {};
    host.attached_process_count = [] { return std::uint32_t{0}; };
    return host;
}

}  // namespace vesko::platform
