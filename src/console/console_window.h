#pragma once

// The console window on Windows: the closing prompt for a window of the
// program's own. (Its characters reach the window through
// text::write_text, whatever the window's code page.)

#include <functional>

#include "console/program.h"
#include "platform/console_host.h"

namespace vesko {

// A console that no other process shares is a window of the program's own
// (started from Explorer) and closes the moment the program ends; when the
// operator can answer there (standard input is that console), this asks them
// to close it and waits for a line or the end of input, so the last words
// stay readable. From a terminal, with input from a file or a pipe, or with
// no console, it does nothing.
void hold_own_console_window(const platform::ConsoleHost& host, const ConsoleIo& io);

// The program run in its console: `program`, then the window held open if
// it is the program's own and no interrupt ended it. Returns `program`'s exit
// code.
int run_in_console_window(const platform::ConsoleHost& host, const ConsoleIo& io, const std::function<int()>& program);

}  // namespace vesko
