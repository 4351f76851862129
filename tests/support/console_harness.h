#pragma once

// The console program driven by a test: scripted input, captured output, and a choice of sample source.

#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "console/program.h"
#include "support/captured_stream.h"
#include "support/fake_reader.h"
#include "support/sim_bus_feed.h"

namespace vesko::test {

// Runs the program entry against a FakeReader and a scripted operator, and
// keeps the transcript. Samples are generated with a running device clock
// and sequence counter, as the module would stamp them.
class ConsoleHarness {
public:
    struct Line {
        std::string text;
        std::function<void()> before;  // runs when the console asks for this line
        bool newline = true;           // false: the input ends after the text
    };

    FakeReader::Options reader_options;
    bool stream_alive = true;          // the first poll's sleep brings a sample
    std::size_t bias_samples = 2000;   // delivered during the 2 s bias sleep
    std::array<std::int16_t, 3> still_gyro{12, -7, 3};

    // Where the samples come from: a fake that keeps the reader contract, or
    // the real VantisImu reading a module on the simulated bus.
    enum class Source { Fake, SimBus };

    explicit ConsoleHarness(Source source = Source::Fake);

    // What the reader prints on the way up before the dialogue starts.
    std::string start_banner() const;

    void type(std::string text, std::function<void()> before = {}, bool newline = true);

    // Samples at `dt_ticks` apart with gyro = still_gyro + rate (LSB).
    std::vector<ImuSample> samples(std::size_t n, std::array<int, 3> rate, std::uint32_t dt_ticks = 48000);
    void deliver(const std::vector<ImuSample>& batch);

    int run(std::vector<std::string> args = {});

    std::string out() const { return out_.text(); }
    std::string err() const { return err_.text(); }
    const FakeReader::Log& reader_log() const { return log_; }
    std::vector<std::chrono::milliseconds> sleeps() const { return sleeps_; }
    int reads_at_eof() const { return reads_at_eof_; }

    std::uint32_t next_timestamp = 0xFFF00000u;  // wraps a little after the start
    std::uint8_t next_seq = 250;

private:
    int read_char();
    void sleep(std::chrono::milliseconds d);

    Source source_;
    std::unique_ptr<SimBusFeed> feed_;
    CapturedStream out_;
    CapturedStream err_;
    std::deque<Line> script_;
    std::string pending_;
    FakeReader* reader_ = nullptr;  // valid only during run()
    FakeReader::Log log_;
    std::vector<std::chrono::milliseconds> sleeps_;
    int reads_at_eof_ = 0;
};

}  // namespace vesko::test
