// SIGINT and SIGTERM. The handler asks the rule what to do; a request to stop
// is kept in an atomic and written to a pipe, which standard input and sleeps
// wait on beside their own business, whichever thread the signal landed on.
// A sleep lasts until the monotonic clock reaches its end.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/clock.h"
#include "platform/interrupts.h"

namespace vesko::platform {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};

InterruptRule rule = nullptr;
std::atomic<unsigned> count{0};
std::atomic<int> stop_code{0};
int wake_pipe[2] = {-1, -1};
struct sigaction previous[2];

// What standard input has been read ahead, and whether it has ended: as
// getchar keeps its end-of-file indicator, one end of input (Ctrl-D at a
// terminal, the end of a file or pipe) ends every later read at once.
bool input_ended = false;
unsigned char pending[256];
ssize_t pending_end = 0;
ssize_t pending_at = 0;

void on_signal(int signal) {
    const int saved_errno = errno;
    const InterruptKind kind = signal == SIGINT ? InterruptKind::Interrupt : InterruptKind::Terminate;
    const InterruptAction action = rule(kind, count.fetch_add(1));
    const int code = 128 + signal;
    if (action == InterruptAction::EndNow) _exit(code);
    int none = 0;
    stop_code.compare_exchange_strong(none, code);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_pipe[1], &byte, 1);
    errno = saved_errno;
}

// Waits until standard input (when asked) is readable or a stop is requested,
// for at most `timeout_ms` (-1: no limit). True when standard input is ready.
bool wait_for_input(bool input, int timeout_ms) {
    for (;;) {
        if (stop_code.load() != 0) return false;
        pollfd fds[2] = {{wake_pipe[0], POLLIN, 0}, {0, POLLIN, 0}};
        const int n = ::poll(fds, input ? 2 : 1, timeout_ms);
        if (n < 0 && errno == EINTR) continue;  // the next pass sees a stop
        if (n <= 0) return false;               // the time is up, or poll cannot wait
        if (stop_code.load() != 0) return false;
        return input && fds[1].revents != 0;
    }
}

}  // namespace

InterruptWatch::InterruptWatch(InterruptRule r) {
    rule = r;
    count = 0;
    stop_code = 0;
    input_ended = false;
    pending_at = pending_end = 0;
    if (::pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &action, &previous[i]);
}

InterruptWatch::~InterruptWatch() {
    for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &previous[i], nullptr);
    for (int& fd : wake_pipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

int InterruptWatch::exit_code() const { return stop_code.load(); }

int InterruptWatch::read_char() {
    if (stop_code.load() != 0) return EOF;
    if (pending_at == pending_end) {
        if (input_ended || !wait_for_input(true, -1)) return EOF;
        ssize_t n;
        do {
            n = ::read(0, pending, sizeof pending);
        } while (n < 0 && errno == EINTR && stop_code.load() == 0);
        if (stop_code.load() != 0) return EOF;
        if (n == 0) input_ended = true;
        if (n <= 0) return EOF;
        pending_at = 0;
        pending_end = n;
    }
    return pending[pending_at++];
}

void InterruptWatch::sleep(std::chrono::milliseconds duration) {
    constexpr std::int64_t kNsPerMs = 1'000'000;
    Clock& clock = monotonic_clock();
    const std::int64_t until = clock.now_ns() + std::int64_t{duration.count()} * kNsPerMs;
    for (std::int64_t now = clock.now_ns(); now < until && stop_code.load() == 0; now = clock.now_ns()) {
        wait_for_input(false, static_cast<int>((until - now + kNsPerMs - 1) / kNsPerMs));
    }
}

void InterruptWatch::raise_interrupt() { ::raise(SIGINT); }

int interrupted_exit_code() { return 128 + SIGINT; }

}  // namespace vesko::platform
