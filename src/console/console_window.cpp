#include "console/console_window.h"

#include <cstdio>
#include <string>

#include "console/console_texts.h"
#include "console/line_input.h"

namespace vesko {

Utf8ConsoleOutput::Utf8ConsoleOutput(const platform::ConsoleHost& host) : host_(host) {
    if (!host_.output_is_console()) return;
    const std::uint32_t current = host_.output_code_page();
    // A code page the console would not tell could not be put back.
    if (current == 0 || current == kUtf8CodePage) return;
    previous_ = current;
    // Armed before the switch: an interrupt in between puts back what is there anyway.
    host_.restore_code_page_on_interrupt(previous_);
    host_.set_output_code_page(kUtf8CodePage);
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
    if (previous_ == 0) return;
    host_.set_output_code_page(previous_);
    host_.restore_code_page_on_interrupt(0);
}

void hold_own_console_window(const platform::ConsoleHost& host, const ConsoleIo& io) {
    if (host.attached_process_count() != 1) return;
    io.streams.err.write(texts::kPressEnterToClose);
    io.streams.err.flush();
    std::string line;
    read_line(line, io.read_char);
}

int run_in_console_window(const platform::ConsoleHost& host, const ConsoleIo& io,
                          const std::function<int()>& program) {
    int exit_code = 0;
    {
        const Utf8ConsoleOutput utf8(host);
        exit_code = program();
    }
    // After Ctrl-C the operator wants the prompt back, and a closed window is gone.
    if (interrupted(io) == 0) hold_own_console_window(host, io);
    return exit_code;
}

}  // namespace vesko
