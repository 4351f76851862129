// Ctrl-C, Ctrl-Break and a closed console window. The system runs the control
// handler on a thread of its own; it asks the rule what to do, and a request
// to stop sets an event that sleeps wait on and cancels a read of standard
// input that the main thread is blocked in.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/clock.h"
#include "platform/interrupts.h"

namespace vesko::platform {
namespace {

// A closed window: the system ends the program a few seconds after the
// handler returns, or once it has waited about five seconds in it.
constexpr DWORD kCloseHoldMs = 4500;

InterruptRule rule = nullptr;
std::atomic<unsigned> count{0};
std::atomic<int> stop_code{0};
HANDLE stop_event = nullptr;   // set when a stop is requested
HANDLE done_event = nullptr;   // set when the watch ends: the program is done
HANDLE main_thread = nullptr;  // the thread that reads standard input
// End of input (Ctrl-Z at the console, the end of a file or pipe) is kept
// here rather than left to the C runtime's end-of-file indicator, which not
// every Windows runtime consults before reading the console again: once
// seen, it ends every later read at once, as getchar's indicator does.
bool input_ended = false;

bool input_is_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

BOOL WINAPI on_control(DWORD type) {
    InterruptKind kind;
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: kind = InterruptKind::Interrupt; break;
        case CTRL_CLOSE_EVENT: kind = InterruptKind::CloseWindow; break;
        default: return FALSE;  // log-off and shut-down: the default handling
    }
    const InterruptAction action = rule(kind, count.fetch_add(1));
    const int code = static_cast<int>(STATUS_CONTROL_C_EXIT);
    if (action == InterruptAction::EndNow) ExitProcess(static_cast<UINT>(code));
    int none = 0;
    stop_code.compare_exchange_strong(none, code);
    SetEvent(stop_event);
    if (main_thread != nullptr) CancelSynchronousIo(main_thread);
    if (action == InterruptAction::HoldUntilStopped) WaitForSingleObject(done_event, kCloseHoldMs);
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch(InterruptRule r) {
    rule = r;
    count = 0;
    stop_code = 0;
    input_ended = false;
    stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    done_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &main_thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(on_control, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetEvent(done_event);
    SetConsoleCtrlHandler(on_control, FALSE);
    for (HANDLE* h : {&stop_event, &done_event, &main_thread}) {
        if (*h != nullptr) CloseHandle(*h);
        *h = nullptr;
    }
}

int InterruptWatch::exit_code() const { return stop_code.load(); }

int InterruptWatch::read_char() {
    if (stop_code.load() != 0 || input_ended) return EOF;
    const int c = std::getchar();
    // Ctrl-C ends a console read before the system has run the handler:
    // give the handler its moment before taking the end for a closed input.
    if (c == EOF && stop_event != nullptr && input_is_console()) WaitForSingleObject(stop_event, 250);
    if (stop_code.load() != 0) return EOF;
    if (c == EOF && std::feof(stdin)) input_ended = true;
    return c;
}

void InterruptWatch::sleep(std::chrono::milliseconds duration) {
    // The system's waits end on its timer ticks, a little early at times:
    // the sleep lasts until the monotonic clock reaches its end.
    constexpr std::int64_t kNsPerMs = 1'000'000;
    Clock& clock = monotonic_clock();
    const std::int64_t until = clock.now_ns() + std::int64_t{duration.count()} * kNsPerMs;
    for (std::int64_t now = clock.now_ns(); now < until && stop_code.load() == 0; now = clock.now_ns()) {
        const auto ms = static_cast<DWORD>((until - now + kNsPerMs - 1) / kNsPerMs);
        if (stop_event == nullptr) {
            Sleep(ms);
        } else {
            WaitForSingleObject(stop_event, ms);
        }
    }
}

void InterruptWatch::raise_interrupt() { on_control(CTRL_C_EVENT); }

int interrupted_exit_code() { return static_cast<int>(STATUS_CONTROL_C_EXIT); }

}  // namespace vesko::platform
