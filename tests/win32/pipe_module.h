#pragma once

// A message-mode named pipe that plays the tracking module: the test holds
// the server end and sends one message per input report; the code under test
// opens the client end by its path, for overlapped reading, as it would open
// the module's HID interface.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vesko::testing {

class PipeModule {
public:
    // A fresh pipe whose name carries `tag` (so a discovery filter can match
    // it, e.g. "&mi_00"). Check ok() before use.
    explicit PipeModule(const std::u16string& tag = u"");
    PipeModule(const PipeModule&) = delete;
    PipeModule& operator=(const PipeModule&) = delete;
    ~PipeModule();

    bool ok() const;
    const std::u16string& path() const { return path_; }

    // After the client end is open: completes the connection and switches the
    // client end (a HANDLE as an integer) to message reads, so that one read
    // returns one report.
    bool accept(std::uintptr_t client);

    // Sends one report as one message.
    bool send(const std::vector<std::uint8_t>& report);

    // Closes the server end: the module leaves.
    void hang_up();

private:
    std::atomic<void*> server_;  // the test thread may hang up while the reader opens
    std::u16string path_;
};

// The number of handles this process holds; 0 when the system cannot say.
unsigned long process_handle_count();

// A report of `length` bytes whose bytes count up from `first`.
std::vector<std::uint8_t> numbered_report(std::size_t length, std::uint8_t first);

}  // namespace vesko::testing
