#pragma once

// The program entry shared by rotabench and rotabench-sim, and the console it talks through.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "calibration/run_result.h"
#include "imu/imu_reader.h"
#include "platform/clock.h"
#include "platform/interrupts.h"
#include "platform/platform.h"
#include "text/streams.h"

namespace vesko {

// The operator's side of the console: where typed characters come from,
// where text goes, and how the main thread sleeps on the monotonic clock.
struct ConsoleIo {
    // getchar semantics: the next byte as an unsigned char value, or EOF.
    std::function<int()> read_char;
    OutputStreams streams;
    std::function<void(std::chrono::milliseconds)> sleep;
    // 0 while the operator has not interrupted the session (Ctrl-C, a closed
    // window); then the exit code the program ends with. Empty: never.
    // An interrupt also ends read_char's line (EOF) and cuts sleep short.
    std::function<int()> interrupted;
    // Host time: when the operator pressed Enter and when each sample
    // arrived, on the clock `sleep` sleeps on. Read on both threads. None: a
    // clock that stands still.
    platform::Clock* clock = nullptr;
};

// The exit code of the interrupt that stopped the session, 0 while none did.
inline int interrupted(const ConsoleIo& io) { return io.interrupted ? io.interrupted() : 0; }

// The console's host time, 0 without a clock.
inline std::int64_t host_now_ns(const ConsoleIo& io) { return io.clock != nullptr ? io.clock->now_ns() : 0; }

// Builds the stream reader around the sample callback.
using ReaderFactory = std::function<std::unique_ptr<ImuReader>(SampleCallback)>;

// The live stream reader of the module on `platform`, its thread on `clock`,
// printing on `streams`: what rotabench reads through.
ReaderFactory live_reader(platform::Platform& platform, platform::Clock& clock, OutputStreams streams);

// What the program ends with: its exit code (0 quit, 1 no module or no
// samples, 2 bad command line, or the interrupt's: the session stops with its
// summary as on a quit) and the runs the console accepted, in order,
// as it measured them; the summary's figures are summarize_axis() of them.
struct ProgramOutcome {
    int exit_code = 0;
    std::vector<RunResult> runs;
};

// The program entry shared by rotabench and rotabench-sim: command line,
// reader start, first-sample wait, the calibration dialogue, the summary.
ProgramOutcome run_program(int argc, const char* const* argv, const ReaderFactory& make_reader, const ConsoleIo& io);

// The console as a real terminal sees it: standard input, output and error,
// and a sleep on the monotonic clock, each giving way to the interrupts
// `watch` sees.
ConsoleIo standard_console_io(platform::InterruptWatch& watch);

}  // namespace vesko
