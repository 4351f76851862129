#pragma once

// The console window on Windows: UTF-8 output while the program runs, and the closing prompt for a
// window of its own.

#include <cstdint>
#include <functional>

#include "console/program.h"
#include "platform/console_host.h"

namespace vesko {

// The code page under which a console shows the UTF-8 bytes the program
// writes (the em dash in its messages) as the characters they are.
inline constexpr std::uint32_t kUtf8CodePage = 65001;

// While it lives, a console on standard output reads what is written to it as
// UTF-8; the code page it had before is put back when it ends, and when the
// operator interrupts the program or closes the window. Output to a file or a
// pipe is left alone: the bytes are the same either way.
class Utf8ConsoleOutput {
public:
    explicit Utf8ConsoleOutput(const platform::ConsoleHost& host);
    ~Utf8ConsoleOutput();
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

private:
    const platform::ConsoleHost& host_;
    std::uint32_t previous_ = 0;  // 0: nothing was switched
};

// A console that no other process shares is a window of the program's own
// (started from Explorer) and closes the moment the program ends; this asks
// the operator to close it and waits for a line or the end of input, so the
// last words stay readable. From a terminal, or with no console, it does
// nothing.
void hold_own_console_window(const platform::ConsoleHost& host, const ConsoleIo& io);

// The program run in its console: UTF-8 output while `program` runs, then the
// window held open if it is the program's own and no interrupt ended it. Returns `program`'s exit code.
int run_in_console_window(const platform::ConsoleHost& host, const ConsoleIo& io,
                          const std::function<int()>& program);

}  // namespace vesko
