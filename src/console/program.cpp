#include "console/program.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/bias_capture.h"
#include "console/cal_accumulator.h"
#include "console/console_input.h"
#include "console/console_texts.h"
#include "console/printed_summary.h"
#include "console/rotation_run.h"
#include "imu/vantis_imu.h"

namespace vesko {
namespace {

constexpr int kFirstSamplePolls = 50;
constexpr std::chrono::milliseconds kFirstSamplePollInterval{100};

bool is_quit(const std::string& line) { return line == "q" || line == "Q"; }

bool wait_for_first_sample(ImuReader& reader, const ConsoleIo& io) {
    ImuSample scratch;
    for (int poll = 0; poll < kFirstSamplePolls && !interrupted(io); ++poll) {
        if (reader.last_sample(scratch, nullptr)) break;
        io.sleep(kFirstSamplePollInterval);
    }
    return reader.last_sample(scratch, nullptr);
}

void dialogue(CalAccumulator& acc, std::vector<RunResult>& runs, const ConsoleIo& io) {
    const TextSink out = io.streams.out;
    std::string line;
    for (;;) {
        out.write(texts::kAngleQuestion);
        out.flush();
        // A closed input ends the dialogue as a quit would.
        if (!read_line(line, io.read_char) || is_quit(line) || interrupted(io)) return;
        const auto angle = accepted_angle(line);
        if (!angle) {
            out.write(texts::kBadAngle);
            continue;
        }
        const auto bias = capture_bias(acc, io);
        if (interrupted(io)) return;
        if (!bias) continue;
        run_rotation(acc, *angle, *bias, runs, io);
        if (interrupted(io)) return;
    }
}

}  // namespace

ProgramOutcome run_program(int argc, const char* const* argv, const ReaderFactory& make_reader, const ConsoleIo& io) {
    ProgramOutcome outcome;
    const auto serial = parse_command_line(argc, argv);
    if (!serial) {
        io.streams.err.write(texts::kUsageLine);
        outcome.exit_code = 2;
        return outcome;
    }

    // The reader is declared after the accumulator, so it is stopped and
    // destroyed first and no callback outlives the record it writes.
    CalAccumulator acc;
    std::unique_ptr<ImuReader> reader =
        make_reader([&acc, &io](const ImuSample& s) { on_sample(acc, s, host_now_ns(io)); });
    if (!reader->start(serial->c_str())) {
        reader->stop();
        outcome.exit_code = 1;
        return outcome;
    }
    if (!wait_for_first_sample(*reader, io)) {
        if (interrupted(io)) {
            reader->stop();
            outcome.exit_code = interrupted(io);
            return outcome;
        }
        io.streams.err.write(texts::kNoSamples);
        reader->stop();
        outcome.exit_code = 1;
        return outcome;
    }
    io.streams.out.print(texts::kStreaming, reader->device_name().c_str());

    dialogue(acc, outcome.runs, io);
    // An interrupt ends the session as a quit does: the runs accepted so far
    // are summed up, and the run it broke off is not one of them.
    if (!outcome.runs.empty()) print_summary(outcome.runs, io.streams.out);
    io.streams.out.flush();
    reader->stop();
    outcome.exit_code = interrupted(io);
    return outcome;
}

ReaderFactory live_reader(platform::Platform& platform, platform::Clock& clock, OutputStreams streams) {
    return [&platform, &clock, streams](SampleCallback callback) -> std::unique_ptr<ImuReader> {
        return std::make_unique<VantisImu>(std::move(callback), platform, clock, VantisImuOptions{streams});
    };
}

ConsoleIo standard_console_io(platform::InterruptWatch& watch) {
    ConsoleIo io;
    io.read_char = [&watch] { return watch.read_char(); };
    io.streams = OutputStreams{stdout, stderr};
    io.sleep = [&watch](std::chrono::milliseconds d) { watch.sleep(d); };
    io.interrupted = [&watch] { return watch.exit_code(); };
    io.clock = &platform::monotonic_clock();
    return io;
}

}  // namespace vesko
