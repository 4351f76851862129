#pragma once

// The program under test as the operator's terminal sees it: started with
// its standard streams on pipes, its output passed on to the host's own
// streams as it comes, and its questions (output that stops after ": "
// without a newline) answered one line at a time.

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace vesko::devstack {

class ChildConsole {
public:
    ChildConsole() = default;
    ChildConsole(const ChildConsole&) = delete;
    ChildConsole& operator=(const ChildConsole&) = delete;
    ~ChildConsole();

    // Starts `command_line`; the program's output goes to `out` and `err`,
    // or, when both are null, straight to the console this host runs in
    // (where nothing is watched for questions).
    bool start(const std::wstring& command_line, std::FILE* out, std::FILE* err);

    // True when the program waits at a question that has not been answered.
    bool asking();
    bool ended();
    // Waits up to `ms` for a question or the end.
    void wait(unsigned ms);

    void answer(const std::string& line);
    void close_input();

    // Waits for the end (at most `limit_ms`, then ends the program) and for
    // the last of its output; its exit code, or -1 when it had to be ended.
    int finish(unsigned limit_ms);

private:
    void relay(void* from, std::FILE* to, bool watch_questions);

    void* process_ = nullptr;
    void* input_ = nullptr;
    std::thread out_relay_;
    std::thread err_relay_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asking_ = false;
    bool output_closed_ = false;
};

}  // namespace vesko::devstack
