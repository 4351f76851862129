#pragma once

// The console program driven by a test: scripted input, captured output, and a choice of sample source.

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/program.h"
#include "support/fake_reader.h"
#include "support/paired_bus.h"
#include "support/queued_reports.h"

namespace vesko::test {

// Runs the program entry with a scripted operator at the keyboard and keeps
// the transcript. Samples are generated with a running device clock and
// sequence counter, as the module would stamp them.
class ConsoleHarness {
public:
    struct Line {
        std::string text;
        std::function<void()> before;  // runs when the console asks for this line
        bool newline = true;           // false: the input ends after the text
    };

    FakeReader::Options reader_options;
    bool stream_alive = true;         // the first poll's sleep brings a sample
    std::size_t bias_samples = 2000;  // delivered during the 2 s bias sleep
    std::array<std::int16_t, 3> still_gyro{12, -7, 3};
    // Ctrl-C during the console's sleep of this number (from 1), which it
    // cuts short; 0: never.
    std::size_t interrupt_at_sleep = 0;

    // Where the samples come from: the real stream reader reading a module on
    // a simulated bus whose clock stands still, the samples handed over
    // three to an input report; or a fake that keeps the reader contract and
    // tells what it was asked.
    enum class Source { SimBus, Fake };

    explicit ConsoleHarness(Source source = Source::SimBus);

    // What the reader prints on the way up before the dialogue starts.
    std::string start_banner() const;

    void type(std::string text, std::function<void()> before = {}, bool newline = true);

    // Samples at `dt_ticks` apart with gyro = still_gyro + rate (LSB).
    std::vector<ImuSample> samples(std::size_t n, std::array<int, 3> rate, std::uint32_t dt_ticks = 48000);
    // Returns once every sample has gone through the console's callback;
    // nothing is delivered unless the reader runs. On the bus, a batch not a
    // multiple of three is padded with repeats of its last sample, which the
    // reader drops.
    void deliver(const std::vector<ImuSample>& batch);

    int run(std::vector<std::string> args = {});

    std::string out() const { return bench_.out.text(); }
    std::string err() const { return bench_.err.text(); }
    const FakeReader::Log& reader_log() const { return log_; }
    std::vector<std::chrono::milliseconds> sleeps() const { return sleeps_; }
    int reads_at_eof() const { return reads_at_eof_; }

    std::uint32_t next_timestamp = 0xFFF00000u;  // wraps a little after the start
    std::uint8_t next_seq = 250;

private:
    int read_char();
    void sleep(std::chrono::milliseconds d);

    Source source_;
    PairedBus bench_;
    std::shared_ptr<QueuedReports> reports_ = std::make_shared<QueuedReports>();
    std::deque<Line> script_;
    std::string pending_;
    FakeReader* reader_ = nullptr;  // valid only during run()
    FakeReader::Log log_;
    std::vector<std::chrono::milliseconds> sleeps_;
    int reads_at_eof_ = 0;
    int interrupted_ = 0;
};

}  // namespace vesko::test
