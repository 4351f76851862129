// The console window through the real system calls, on a console this test
// allocates for itself: what a program started from Explorer gets.

#include "console/console_window.h"
#include "platform/console_host.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "support/captured_stream.h"

namespace vesko::platform {
namespace {

// The process's standard handles as they were, put back with the console freed.
class OwnConsole {
public:
    OwnConsole()
        : input_(GetStdHandle(STD_INPUT_HANDLE)),
          output_(GetStdHandle(STD_OUTPUT_HANDLE)),
          error_(GetStdHandle(STD_ERROR_HANDLE)),
          allocated_(AllocConsole() != 0),
          error_code_(allocated_ ? 0 : GetLastError()) {}
    ~OwnConsole() {
        if (allocated_) FreeConsole();
        SetStdHandle(STD_INPUT_HANDLE, input_);
        SetStdHandle(STD_OUTPUT_HANDLE, output_);
        SetStdHandle(STD_ERROR_HANDLE, error_);
    }
    OwnConsole(const OwnConsole&) = delete;
    OwnConsole& operator=(const OwnConsole&) = delete;

    bool allocated() const { return allocated_; }
    DWORD error_code() const { return error_code_; }

private:
    HANDLE input_;
    HANDLE output_;
    HANDLE error_;
    bool allocated_;
    DWORD error_code_;
};

// A handle closed when the test ends, however it ends.
struct OwnedHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~OwnedHandle() {
        if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
    }
};

TEST(Win32Console, OwnConsoleWithItsKeyboardIsHeldOpen) {
    const OwnConsole console;
    if (!console.allocated()) {
        GTEST_SKIP() << "AllocConsole failed (error " << console.error_code()
                     << "): the process already has a console (headless wine gives it a hidden one)"
                        " or the system gives it none, so there is no console of its own to test on";
    }
    OwnedHandle keyboard;
    keyboard.handle = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(keyboard.handle, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, keyboard.handle));

    const ConsoleHost host = native_console_host();
    EXPECT_TRUE(host.input_is_console());
    EXPECT_EQ(host.attached_process_count(), 1u);

    test::CapturedStream out;
    test::CapturedStream err;
    ConsoleIo io;
    io.streams = OutputStreams{out.get(), err.get()};
    io.read_char = [] { return EOF; };
    const int exit_code = run_in_console_window(host, io, [] { return 1; });
    EXPECT_EQ(exit_code, 1);
    EXPECT_EQ(err.text(), "press Enter to close");
}

// Input redirected from a pipe is not a console, whatever console the process has.
TEST(Win32Console, InputOnAPipeIsNotAConsole) {
    OwnedHandle read_end;
    OwnedHandle write_end;
    ASSERT_TRUE(CreatePipe(&read_end.handle, &write_end.handle, nullptr, 0));
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, read_end.handle));
    const bool console = native_console_host().input_is_console();
    SetStdHandle(STD_INPUT_HANDLE, input);
    EXPECT_FALSE(console);
}

}  // namespace
}  // namespace vesko::platform
