#pragma once

// Transcript: the console's output as a session keeps and shows it.

#include <cstdio>
#include <string>

namespace vesko::simulator {

// One output stream of the console as the session keeps it: the console (and
// the operator's echo, or the reader thread) write to a temporary file;
// pump() copies what is new to `copy_to` (the terminal; may be null) and keeps
// the whole text for the truth report and the scenario's expectations.
// Pumped whenever the console's thread waits, so the terminal shows each
// question as it is asked. Writes may come from any thread (the file is
// written through one handle and read through another); pump() from one.
class Transcript {
public:
    explicit Transcript(std::FILE* copy_to);
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Where the console writes. Without a temporary file, `copy_to` itself
    // (or standard output), and the kept text stays empty.
    std::FILE* console_out() const { return file_ ? file_ : (copy_to_ ? copy_to_ : stdout); }
    bool kept() const { return file_ != nullptr; }

    void pump();
    const std::string& text() const { return text_; }

private:
    std::FILE* copy_to_;
    std::string path_;
    std::FILE* file_ = nullptr;    // where the console writes
    std::FILE* reader_ = nullptr;  // where pump() reads on from
    std::string text_;
};

}  // namespace vesko::simulator
