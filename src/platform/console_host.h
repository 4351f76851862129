#pragma once

// The console window the program may be running in, as the system reports
// it. Each operation is one system call; what to do with the answers is
// decided in src/console/console_window.cpp.

#include <cstdint>
#include <functional>

namespace vesko::platform {

struct ConsoleHost {
    // Standard output is a console, not a file or a pipe.
    std::function<bool()> output_is_console;
    // The code page the console reads the bytes written to it in; 0 when the
    // console cannot tell.
    std::function<std::uint32_t()> output_code_page;
    std::function<void(std::uint32_t)> set_output_code_page;
    // The code page to put back when the operator presses Ctrl-C or closes
    // the window, before the default handling ends the program; 0 for none.
    std::function<void(std::uint32_t)> restore_code_page_on_interrupt;
    // How many processes share the console; 0 when there is none.
    std::function<std::uint32_t()> attached_process_count;
};

// The console of the system this program was built for. Each backend
// library defines it, as it does make_native_platform().
ConsoleHost native_console_host();

}  // namespace vesko::platform
