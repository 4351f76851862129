#pragma once

// The console window the program may be running in, as the system reports
// it. Each operation is one system call; what to do with the answers is
// decided in src/console/console_window.cpp.

#include <cstdint>
#include <functional>

namespace vesko::platform {

struct ConsoleHost {
    // Standard input is a console's keyboard, not a file or a pipe.
    std::function<bool()> input_is_console;
    // How many processes share the console; 0 when there is none.
    std::function<std::uint32_t()> attached_process_count;
};

// The console of the system this program was built for. Each backend
// library defines it, as it does make_native_platform().
ConsoleHost native_console_host();

}  // namespace vesko::platform
