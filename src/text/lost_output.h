#pragma once

// Whether what a program wrote reached where it went: standard output (a
// file, a pipe) or a file it was told to write. A C stream tells of a full
// disk, a closed pipe or a closed descriptor only in the write or the flush
// that failed, and forgets why; the reason is kept here, per stream, from
// the first failure, and each program asks at its end.

#include <cstdio>
#include <optional>
#include <string>

namespace vesko::text {

// A program's exit code when bytes it wrote were lost (the usual code of an
// input/output error, beside each program's own 0 to 5).
inline constexpr int kExitOutputLost = 74;

// Keeps `error` (an errno) as the reason bytes written to `file` were lost,
// unless an earlier failure's reason is kept already. write_text and
// TextSink's flush call it.
void note_write_failure(std::FILE* file, int error);

// Flushes `file`; the system's reason when a byte written to it so far did
// not reach it ("No space left on device"), nullopt when every byte did.
std::optional<std::string> flush_output(std::FILE* file);

// The same, and closes `file`. Closing a descriptor that was never open
// (standard output closed by the shell, `>&-`) loses nothing when nothing
// was written to it.
std::optional<std::string> close_output(std::FILE* file);

// Flushes `file`, or closes it with `close`; when a byte written to it was
// lost, says so on `err` ("PROGRAM: DESTINATION: REASON"), once for a stream
// however often it is asked, and returns false. Writes to `err` directly:
// standard output may be closed by then.
bool output_kept(std::FILE* file, bool close, const char* program, const std::string& destination, std::FILE* err);

}  // namespace vesko::text
