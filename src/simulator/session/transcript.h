#pragma once

// Transcript: the console's output as a session keeps and shows it.

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/streams.h"

namespace vesko::simulator {

// One output stream of the console as the session keeps it: the console (and
// the operator's echo, or the reader thread) write to memory; pump() copies
// what is new to `copy_to` (the terminal; may be null). Pumped whenever the
// console's thread waits, so the terminal shows each question as it is asked.
// Writes may come from any thread; pump() from one.
class Transcript {
public:
    explicit Transcript(std::FILE* copy_to) : copy_to_(copy_to) {}
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Where the console writes.
    TextSink console_out() { return TextSink(buffer_); }

    void pump();
    std::string text() const { return buffer_.text(); }

private:
    std::FILE* copy_to_;
    TextBuffer buffer_;
    std::size_t pumped_ = 0;  // how much of the text pump() has copied
};

}  // namespace vesko::simulator
