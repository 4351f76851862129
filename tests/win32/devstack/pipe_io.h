#pragma once

// Overlapped I/O on the host's pipe ends, waited for in short steps so a
// caller can give up when the far end leaves or the host shuts down.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <string>

namespace vesko::devstack {

// A named pipe's server end for overlapped I/O, message type; nullptr-safe
// RAII around the HANDLE.
class PipeEnd {
public:
    explicit PipeEnd(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    PipeEnd(const PipeEnd&) = delete;
    PipeEnd& operator=(const PipeEnd&) = delete;
    PipeEnd(PipeEnd&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
    PipeEnd& operator=(PipeEnd&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.handle_;
            other.handle_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
    ~PipeEnd() { reset(); }

    static PipeEnd create(const std::wstring& name, DWORD out_buffer) {
        return PipeEnd(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                        out_buffer, 64 * 1024, 0, nullptr));
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    void reset() {
        if (ok()) {
            CancelIoEx(handle_, nullptr);
            DisconnectNamedPipe(handle_);
            CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// One overlapped operation with its own event.
class Pending {
public:
    Pending() { overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
    ~Pending() { CloseHandle(overlapped_.hEvent); }

    OVERLAPPED* get() {
        HANDLE event = overlapped_.hEvent;
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = event;
        ResetEvent(event);
        return &overlapped_;
    }
    HANDLE event() const { return overlapped_.hEvent; }
    bool done() const { return WaitForSingleObject(overlapped_.hEvent, 0) == WAIT_OBJECT_0; }

    // Waits for the operation on `file` in 10 ms steps while `go_on` says so;
    // false when it failed or was given up (then it is cancelled).
    bool finish(HANDLE file, DWORD* bytes, const std::function<bool()>& go_on) {
        while (WaitForSingleObject(overlapped_.hEvent, 10) == WAIT_TIMEOUT) {
            if (!go_on()) {
                CancelIoEx(file, &overlapped_);
                DWORD ignored = 0;
                GetOverlappedResult(file, &overlapped_, &ignored, TRUE);
                return false;
            }
        }
        DWORD done_bytes = 0;
        const bool ok = GetOverlappedResult(file, &overlapped_, &done_bytes, FALSE) != 0;
        if (bytes != nullptr) *bytes = done_bytes;
        return ok;
    }

private:
    OVERLAPPED overlapped_{};
};

// Starts an overlapped call; true when it completed at once or is pending.
inline bool started(BOOL result) { return result || GetLastError() == ERROR_IO_PENDING; }

// Waits for a client on `pipe` while `go_on` says so.
inline bool accept_client(const PipeEnd& pipe, const std::function<bool()>& go_on) {
    Pending connect;
    if (ConnectNamedPipe(pipe.get(), connect.get())) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return true;
    if (error != ERROR_IO_PENDING) return false;
    return connect.finish(pipe.get(), nullptr, go_on);
}

}  // namespace vesko::devstack
