#include "platform/console_host.h"

namespace vesko::platform {

// A terminal on Linux outlives the program, so there is no console window
// to keep open: no console, on standard input or anywhere.
ConsoleHost native_console_host() {
    ConsoleHost host;
    host.input_is_console = [] { return false; };
    host.attached_process_count = [] { return std::uint32_t{0}; };
    return host;
}

}  // namespace vesko::platform
