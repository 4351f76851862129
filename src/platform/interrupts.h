#pragma once

// Ctrl-C, a termination request and a closed console window, as the program
// sees them: a watch that turns each into a request to stop the session, and
// standard input and sleeps that give way to it.

#include <chrono>

namespace vesko::platform {

enum class InterruptKind {
    Interrupt,    // Ctrl-C or Ctrl-Break at the console (SIGINT on Linux)
    Terminate,    // a request to end the program (SIGTERM)
    CloseWindow,  // the console window closed: the system ends the program soon after the handler returns
};

enum class InterruptAction {
    StopSession,       // the program finishes as the operator's quit would
    HoldUntilStopped,  // the same, and the handler keeps the system from ending the program until it is done
    EndNow,            // the process ends at once
};

// Decides what an interrupt does, given how many came before it. Called from
// a signal handler: it must not allocate, lock or print.
using InterruptRule = InterruptAction (*)(InterruptKind kind, unsigned earlier);

// While it lives, interrupts go to `rule` instead of ending the program; the
// handlers there were before are put back when it ends. One at a time in a
// process. Each backend library defines it (its interrupt_watch.cpp), and
// interrupted_exit_code() below.
class InterruptWatch {
public:
    explicit InterruptWatch(InterruptRule rule);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // 0 until an interrupt asks the session to stop; then the exit code that
    // is conventional for it on this system.
    int exit_code() const;
    // A byte of standard input with getchar semantics, or EOF once an
    // interrupt asks the session to stop, also while it waits for a line.
    int read_char();
    // Sleeps until the monotonic clock has moved on by `duration`, cut short
    // by an interrupt.
    void sleep(std::chrono::milliseconds duration);
    // Ctrl-C pressed at this program's console, handled before this returns,
    // on the calling thread: the simulated operator's.
    void raise_interrupt();
};

// The exit code of a program stopped by Ctrl-C on this system.
int interrupted_exit_code();

}  // namespace vesko::platform
