#include "console/console_window.h"

#include <string>

#include "console/console_texts.h"
#include "console/line_input.h"

namespace vesko {

void hold_own_console_window(const platform::ConsoleHost& host, const ConsoleIo& io) {
    if (host.attached_process_count() != 1) return;
    io.streams.err.write(texts::kPressEnterToClose);
    io.streams.err.flush();
    std::string line;
    read_line(line, io.read_char);
}

int run_in_console_window(const platform::ConsoleHost& host, const ConsoleIo& io,
                          const std::function<int()>& program) {
    const int exit_code = program();
    hold_own_console_window(host, io);
    return exit_code;
}

}  // namespace vesko
