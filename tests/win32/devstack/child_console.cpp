#include "child_console.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <vector>

namespace vesko::devstack {
namespace {

HANDLE native(void* handle) { return static_cast<HANDLE>(handle); }

// A pipe whose `child_end` the program inherits.
bool make_pipe(HANDLE& read_end, HANDLE& write_end, bool child_reads) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inherit, 64 * 1024)) return false;
    SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0);
    return true;
}

}  // namespace

ChildConsole::~ChildConsole() {
    if (process_ != nullptr) finish(0);
}

bool ChildConsole::start(const std::wstring& command_line, std::FILE* out, std::FILE* err) {
    HANDLE in_read = nullptr, in_write = nullptr, out_read = nullptr, out_write = nullptr, err_read = nullptr,
           err_write = nullptr;
    const bool to_console = out == nullptr && err == nullptr;
    if (to_console) {
        // The console's screen, inheritable, for both of the program's output streams.
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        out_write = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr);
        if (out_write == INVALID_HANDLE_VALUE) return false;
        DuplicateHandle(GetCurrentProcess(), out_write, GetCurrentProcess(), &err_write, 0, TRUE,
                        DUPLICATE_SAME_ACCESS);
    }
    if (!make_pipe(in_read, in_write, true) ||
        (!to_console && (!make_pipe(out_read, out_write, false) || !make_pipe(err_read, err_write, false)))) {
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in_read;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    // Wine now and then refuses a process start while its server is busy
    // (ERROR_INTERNAL_ERROR); a moment later it starts.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt != 0) Sleep(200);
        started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    }
    CloseHandle(in_read);
    CloseHandle(out_write);
    CloseHandle(err_write);
    if (!started) {
        CloseHandle(in_write);
        CloseHandle(out_read);
        CloseHandle(err_read);
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    input_ = in_write;
    if (to_console) return true;
    out_relay_ = std::thread([this, out_read, out] { relay(out_read, out, true); });
    err_relay_ = std::thread([this, err_read, err] { relay(err_read, err, false); });
    return true;
}

void ChildConsole::relay(void* from, std::FILE* to, bool watch_questions) {
    char chunk[4096];
    std::string tail;
    DWORD got = 0;
    while (ReadFile(native(from), chunk, sizeof chunk, &got, nullptr) && got != 0) {
        std::fwrite(chunk, 1, got, to);
        std::fflush(to);
        if (!watch_questions) continue;
        tail.append(chunk, got);
        if (tail.size() > 2) tail.erase(0, tail.size() - 2);
        std::lock_guard<std::mutex> lock(mutex_);
        asking_ = tail == ": ";
        changed_.notify_all();
    }
    CloseHandle(native(from));
    if (watch_questions) {
        std::lock_guard<std::mutex> lock(mutex_);
        output_closed_ = true;
        asking_ = false;
        changed_.notify_all();
    }
}

bool ChildConsole::asking() {
    std::lock_guard<std::mutex> lock(mutex_);
    return asking_;
}

bool ChildConsole::ended() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (output_closed_) return true;
    }
    return process_ == nullptr || WaitForSingleObject(native(process_), 0) == WAIT_OBJECT_0;
}

void ChildConsole::wait(unsigned ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return asking_ || output_closed_; });
}

void ChildConsole::answer(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        asking_ = false;
    }
    const std::string typed = line + "\n";
    DWORD written = 0;
    if (input_ != nullptr) WriteFile(native(input_), typed.data(), static_cast<DWORD>(typed.size()), &written, nullptr);
}

void ChildConsole::close_input() {
    if (input_ != nullptr) CloseHandle(native(input_));
    input_ = nullptr;
}

int ChildConsole::finish(unsigned limit_ms) {
    if (process_ == nullptr) return -1;
    close_input();
    int code = -1;
    if (WaitForSingleObject(native(process_), limit_ms) == WAIT_OBJECT_0) {
        DWORD exit_code = 0;
        GetExitCodeProcess(native(process_), &exit_code);
        code = static_cast<int>(exit_code);
    } else {
        TerminateProcess(native(process_), 255);
        WaitForSingleObject(native(process_), INFINITE);
    }
    if (out_relay_.joinable()) out_relay_.join();
    if (err_relay_.joinable()) err_relay_.join();
    CloseHandle(native(process_));
    process_ = nullptr;
    return code;
}

}  // namespace vesko::devstack
