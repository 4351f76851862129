// The console the program runs in: the window of its own held open at the
// end when someone can answer there, and the UTF-8 pieces that reach a
// console window as characters.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "console/console_window.h"
#include "support/captured_stream.h"
#include "text/console_text.h"

namespace vesko::test {
namespace {

// A console whose state the test sets.
struct FakeConsole {
    bool input_is_console = false;
    std::uint32_t processes = 0;

    platform::ConsoleHost host() {
        platform::ConsoleHost h;
        h.input_is_console = [this] { return input_is_console; };
        h.attached_process_count = [this] { return processes; };
        return h;
    }
};

struct Case {
    const char* name;
    std::uint32_t processes;
    bool input_is_console;
    int exit_code;
    std::string input;  // what the operator types after the program's own dialogue
    // Expected:
    std::string err;
    std::string input_left;
};

const std::string kClose = "press Enter to close";

const Case kCases[] = {
    {"terminal, exit 0", 2, true, 0, "x\n", "", "x\n"},
    {"terminal, exit 1", 2, true, 1, "x\n", "", "x\n"},
    {"terminal, exit 2", 2, true, 2, "x\n", "", "x\n"},
    {"terminal, input redirected", 2, false, 0, "x\n", "", "x\n"},
    {"redirected, no console", 0, false, 1, "x\n", "", "x\n"},
    {"own window, Enter", 1, true, 1, "\nrest\n", kClose, "rest\n"},
    {"own window, input ended", 1, true, 0, "", kClose, ""},
    // Nobody can press Enter in the window: the program would wait on a file or a pipe.
    {"own window, input redirected", 1, false, 0, "x\n", "", "x\n"},
};

TEST(ConsoleWindow, ClosingPromptOnlyWhereSomeoneCanAnswerIt) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FakeConsole console;
        console.input_is_console = c.input_is_console;
        console.processes = c.processes;
        const platform::ConsoleHost host = console.host();

        CapturedStream out;
        CapturedStream err;
        std::size_t next = 0;
        ConsoleIo io;
        io.streams = OutputStreams{out.get(), err.get()};
        io.read_char = [&] { return next < c.input.size() ? static_cast<unsigned char>(c.input[next++]) : EOF; };

        const int exit_code = run_in_console_window(host, io, [&] { return c.exit_code; });

        EXPECT_EQ(exit_code, c.exit_code);
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(err.text(), c.err);
        EXPECT_EQ(c.input.substr(next), c.input_left);
    }
}

// UTF-8 written in pieces, as a console window gets it: each piece's
// characters, a character split between pieces with the piece that ends it.
struct PiecesCase {
    const char* name;
    std::vector<std::string> pieces;
    std::vector<std::u16string> expected;  // one per piece
};

const PiecesCase kPiecesCases[] = {
    {"ASCII", {"q\n"}, {u"q\n"}},
    {"em dash whole", {"a \xE2\x80\x94 b"}, {u"a \u2014 b"}},
    {"em dash split after its first byte", {"a \xE2", "\x80\x94 b"}, {u"a ", u"\u2014 b"}},
    {"em dash split byte by byte", {"\xE2", "\x80", "\x94", "\n"}, {u"", u"", u"\u2014", u"\n"}},
    {"two-byte and four-byte characters", {"\xC3\xA9 \xF0\x9F", "\x98\x80"}, {u"\u00E9 ", u"\U0001F600"}},
    {"a stray continuation byte", {"a\x94z"}, {u"a\uFFFDz"}},
    {"a character cut short by ASCII", {"\xE2\x80z"}, {u"\uFFFDz"}},
    {"a character cut short across pieces", {"\xE2\x80", "z"}, {u"", u"\uFFFDz"}},
    {"a byte that never begins a character", {"\xFF\xC0\x80"}, {u"\uFFFD\uFFFD\uFFFD"}},
    {"an encoded surrogate", {"\xED\xA0\x80."}, {u"\uFFFD."}},
    {"overlong em dash", {"\xF0\x82\x80\x94"}, {u"\uFFFD"}},
};

TEST(ConsoleText, Utf8PiecesBecomeWholeCharacters) {
    for (const PiecesCase& c : kPiecesCases) {
        SCOPED_TRACE(c.name);
        text::Utf16Pieces pieces;
        ASSERT_EQ(c.pieces.size(), c.expected.size());
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            EXPECT_EQ(pieces.convert(c.pieces[i]), c.expected[i]) << "piece " << i;
        }
    }
}

// A file or a pipe gets the bytes as they are, a split character too.
TEST(ConsoleText, AFileGetsTheBytesAsTheyAre) {
    CapturedStream file;
    const std::string bytes = "  hold STILL against the jig \xE2\x80\x94 2 s bias capture...";
    text::write_text(file.get(), bytes.substr(0, 30));
    text::write_text(file.get(), bytes.substr(30));
    EXPECT_EQ(file.text(), bytes);
}

}  // namespace
}  // namespace vesko::test
