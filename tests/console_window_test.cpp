// The console the program runs in: UTF-8 output while it runs, the code page
// put back on every way out, the window of its own held open at the end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "console/console_window.h"
#include "support/captured_stream.h"

namespace vesko::test {
namespace {

// A console whose state the test sets and reads back.
struct FakeConsole {
    bool is_console = false;
    std::uint32_t code_page = 0;
    std::uint32_t processes = 0;
    std::uint32_t on_interrupt = 0;
    std::vector<std::uint32_t> code_pages_set;
    int code_page_calls = 0;

    platform::ConsoleHost host() {
        platform::ConsoleHost h;
        h.output_is_console = [this] { return is_console; };
        h.output_code_page = [this] {
            ++code_page_calls;
            return code_page;
        };
        h.set_output_code_page = [this](std::uint32_t cp) {
            ++code_page_calls;
            code_pages_set.push_back(cp);
            code_page = cp;
        };
        h.restore_code_page_on_interrupt = [this](std::uint32_t cp) { on_interrupt = cp; };
        h.attached_process_count = [this] { return processes; };
        return h;
    }
};

struct Case {
    const char* name;
    bool is_console;
    std::uint32_t code_page;  // before the program starts
    std::uint32_t processes;
    int exit_code;
    std::string input;  // what the operator types after the program's own dialogue
    // Expected:
    std::uint32_t code_page_while_running;
    std::uint32_t on_interrupt_while_running;
    std::vector<std::uint32_t> code_pages_set;
    bool code_page_touched;
    std::string err;
    std::string input_left;
};

const std::string kClose = "press Enter to close";

const Case kCases[] = {
    {"terminal, exit 0", true, 850, 2, 0, "x\n", 65001, 850, {65001, 850}, true, "", "x\n"},
    {"terminal, exit 1", true, 850, 2, 1, "x\n", 65001, 850, {65001, 850}, true, "", "x\n"},
    {"terminal, exit 2", true, 437, 2, 2, "x\n", 65001, 437, {65001, 437}, true, "", "x\n"},
    {"terminal already in UTF-8", true, 65001, 2, 0, "x\n", 65001, 0, {}, true, "", "x\n"},
    {"console that cannot tell its code page", true, 0, 2, 0, "x\n", 0, 0, {}, true, "", "x\n"},
    {"redirected, no console", false, 850, 0, 1, "x\n", 850, 0, {}, false, "", "x\n"},
    {"own window, Enter", true, 850, 1, 1, "\nrest\n", 65001, 850, {65001, 850}, true, kClose, "rest\n"},
    {"own window, input ended", true, 1252, 1, 0, "", 65001, 1252, {65001, 1252}, true, kClose, ""},
};

TEST(ConsoleWindow, CodePageAndClosingPromptOnEveryWayOut) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FakeConsole console;
        console.is_console = c.is_console;
        console.code_page = c.code_page;
        console.processes = c.processes;
        const platform::ConsoleHost host = console.host();

        CapturedStream out;
        CapturedStream err;
        std::size_t next = 0;
        ConsoleIo io;
        io.streams = OutputStreams{out.get(), err.get()};
        io.read_char = [&] { return next < c.input.size() ? static_cast<unsigned char>(c.input[next++]) : EOF; };

        std::uint32_t code_page_while_running = 0;
        std::uint32_t on_interrupt_while_running = 0;
        const int exit_code = run_in_console_window(host, io, [&] {
            code_page_while_running = console.code_page;
            on_interrupt_while_running = console.on_interrupt;
            return c.exit_code;
        });

        EXPECT_EQ(exit_code, c.exit_code);
        EXPECT_EQ(code_page_while_running, c.code_page_while_running);
        EXPECT_EQ(on_interrupt_while_running, c.on_interrupt_while_running);
        EXPECT_EQ(console.code_page, c.code_page);
        EXPECT_EQ(console.on_interrupt, 0u);
        EXPECT_EQ(console.code_pages_set, c.code_pages_set);
        EXPECT_EQ(console.code_page_calls > 0, c.code_page_touched);
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(err.text(), c.err);
        EXPECT_EQ(c.input.substr(next), c.input_left);
    }
}

}  // namespace
}  // namespace vesko::test
