#pragma once

// Text on its way to standard output or standard error. A file or a pipe
// gets the program's bytes as they are; a console window on Windows gets the
// characters those UTF-8 bytes encode, as UTF-16, because the C runtime
// would otherwise hand the console each byte as a character of its own (the
// em dash became three) whatever code page the console was set to.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace vesko::text {

// Writes the UTF-8 `text` to `file`: through the C stream, or, when the
// stream is a console window, after what the C stream holds, as characters.
// A character whose bytes are split between two writes is written whole with
// the second. Safe from any thread.
void write_text(std::FILE* file, std::string_view text);

// UTF-8 that arrives in pieces, turned into UTF-16. The bytes of a character
// that are not all there yet are kept back until the next piece; bytes that
// are not UTF-8 become U+FFFD (one for a character cut short).
class Utf16Pieces {
public:
    std::u16string convert(std::string_view more);

private:
    std::string kept_;
};

// --- what each backend defines (console_stream.cpp of the backend) ---------

// `file` is a console window, not a file, a pipe or a terminal that takes bytes.
bool stream_is_console(std::FILE* file);
// Writes `text` to the console window behind `file`.
void write_console(std::FILE* file, std::u16string_view text);

}  // namespace vesko::text
