#pragma once

// TextSink and OutputStreams: where a component prints its dialogue and its
// diagnostics, a C stream or a text kept in memory.

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "text/printf_text.h"

namespace vesko {

// Text kept in memory, written from any thread. With a stream to copy to,
// each piece also goes there the moment it is appended, so that a terminal
// shows both of a program's streams in the order they were written.
class TextBuffer {
public:
    explicit TextBuffer(std::FILE* copy_to = nullptr) : copy_to_(copy_to) {}
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    void append(std::string_view text);
    std::string text() const;
    std::size_t size() const;  // of text(), without copying it

private:
    mutable std::mutex mutex_;
    std::string text_;
    std::FILE* const copy_to_;
};

// Where text goes: a C stream (standard output by default, or none at all:
// a null stream drops the text) or a TextBuffer. A small value; the stream or
// the buffer must outlive it. A stream's text goes through
// text::write_text, so a console window shows its characters.
class TextSink {
public:
    TextSink(std::FILE* file = stdout) : file_(file) {}  // implicit: a stream is where text goes
    TextSink(TextBuffer& buffer) : buffer_(&buffer) {}   // and so is a buffer

    // Standard output is flushed before anything goes to standard error: in a
    // pipe the one is buffered and the other not, and `2>&1` would show an
    // error before the lines written ahead of it.
    void write(std::string_view text) const;
    ROTABENCH_PRINTF(2, 3)
    void print(const char* format, ...) const;
    // Hands what a C stream holds back to the system; a buffer has nothing held back.
    void flush() const;

private:
    std::FILE* file_ = nullptr;
    TextBuffer* buffer_ = nullptr;
};

// Where a component prints: the dialogue and results on `out`, diagnostics
// on `err`. Tests and the simulated program pass their own.
struct OutputStreams {
    TextSink out{stdout};
    TextSink err{stderr};
};

}  // namespace vesko
