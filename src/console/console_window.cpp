#include "console/console_window.h"

#include <string>

#include "console/console_input.h"
#include "console/console_texts.h"

namespace vesko {

void hold_own_console_window(const platform::ConsoleHost& host, const ConsoleIo& io) {
    // A window shared with a shell stays open anyway; input from a file or a
    // pipe has nobody to press Enter, and the program would wait for nothing.
    if (host.attached_process_count() != 1 || !host.input_is_console()) return;
    io.streams.err.write(texts::kPressEnterToClose);
    io.streams.err.flush();
    std::string line;
    read_line(line, io.read_char);
}

int run_in_console_window(const platform::ConsoleHost& host, const ConsoleIo& io, const std::function<int()>& program) {
    const int exit_code = program();
    // After Ctrl-C the operator wants the prompt back, and a closed window is gone.
    if (interrupted(io) == 0) hold_own_console_window(host, io);
    return exit_code;
}

}  // namespace vesko
