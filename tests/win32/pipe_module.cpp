#include "pipe_module.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace vesko::testing {

namespace {

std::atomic<unsigned> pipe_counter{0};

HANDLE server_of(void* server) { return static_cast<HANDLE>(server); }

std::u16string digits(unsigned long value) {
    std::u16string text;
    for (const char c : std::to_string(value)) {
        text.push_back(static_cast<char16_t>(c));
    }
    return text;
}

}  // namespace

PipeModule::PipeModule(const std::u16string& tag)
    : server_(INVALID_HANDLE_VALUE),
      path_(u"\\\\.\\pipe\\rotabench-module" + tag + u"-" + digits(GetCurrentProcessId()) + u"-" +
            digits(pipe_counter.fetch_add(1))) {
    // One instance, message type and message reads; the server end is
    // synchronous, the client end is opened by the code under test.
    const std::wstring name(path_.begin(), path_.end());
    server_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                               1, 4096, 4096, 0, nullptr);
}

PipeModule::~PipeModule() { hang_up(); }

bool PipeModule::ok() const { return server_of(server_) != INVALID_HANDLE_VALUE; }

bool PipeModule::accept(std::uintptr_t client) {
    if (!ok()) {
        return false;
    }
    if (!ConnectNamedPipe(server_of(server_), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
        return false;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    return SetNamedPipeHandleState(reinterpret_cast<HANDLE>(client), &mode, nullptr, nullptr) != 0;
}

bool PipeModule::send(const std::vector<std::uint8_t>& report) {
    DWORD written = 0;
    return WriteFile(server_of(server_), report.data(), static_cast<DWORD>(report.size()), &written, nullptr) &&
           written == report.size();
}

void PipeModule::hang_up() {
    void* server = server_.exchange(INVALID_HANDLE_VALUE);
    if (server_of(server) != INVALID_HANDLE_VALUE) {
        CloseHandle(server_of(server));
    }
}

unsigned long process_handle_count() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
        return count;
    }
    // Wine answers 0. Its handles are small multiples of 4, the lowest free
    // one given out first, so the live ones among the first thousand are a
    // count good enough to see a handle left open.
    unsigned long live = 0;
    for (std::uintptr_t value = 4; value < 0x1000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++live;
        }
    }
    return live;
}

std::vector<std::uint8_t> numbered_report(std::size_t length, std::uint8_t first) {
    std::vector<std::uint8_t> report(length);
    for (std::size_t i = 0; i < length; ++i) {
        report[i] = static_cast<std::uint8_t>(first + i);
    }
    return report;
}

}  // namespace vesko::testing
