#include "support/console_harness.h"

#include <algorithm>
#include <cstdio>

#include "imu/input_report.h"

namespace vesko::test {

ConsoleHarness::ConsoleHarness(Source source) : source_(source) {
    bench_.bus.attach_source(bench_.module.hid_interface, reports_);
}

std::string ConsoleHarness::start_banner() const {
    if (source_ == Source::Fake) return "";
    return "VantisImu: 1 Gantrell device(s), 1 MCU-paired\nVantisImu: using KVR-TEST01\n";
}

void ConsoleHarness::type(std::string text, std::function<void()> before, bool newline) {
    script_.push_back(Line{std::move(text), std::move(before), newline});
}

std::vector<ImuSample> ConsoleHarness::samples(std::size_t n, std::array<int, 3> rate, std::uint32_t dt_ticks) {
    std::vector<ImuSample> v(n);
    for (ImuSample& s : v) {
        for (int i = 0; i < 3; ++i) s.gyro[i] = static_cast<std::int16_t>(still_gyro[i] + rate[i]);
        s.accel[2] = 2048;
        s.timestamp = next_timestamp;
        s.seq = next_seq;
        next_timestamp += dt_ticks;
        ++next_seq;
    }
    return v;
}

void ConsoleHarness::deliver(const std::vector<ImuSample>& batch) {
    if (source_ == Source::Fake) {
        if (reader_) reader_->deliver(batch);
        return;
    }
    if (batch.empty()) return;
    for (std::size_t i = 0; i < batch.size(); i += kSamplesPerReport) {
        std::vector<std::uint8_t> report(kImuReportReadLength, 0);
        report[0] = kImuReportId;
        for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
            const ImuSample& s = batch[std::min(i + k, batch.size() - 1)];
            encode_sample_slot(s, report.data() + 1 + kSampleSlotSize * k);
        }
        reports_->push(std::move(report));
    }
    // The waiting read is told to look again; the reader then runs at this
    // same instant until it waits: every report taken, its samples delivered.
    bench_.bus.notify_source_changed();
    bench_.yield();
}

int ConsoleHarness::read_char() {
    while (pending_.empty()) {
        if (script_.empty()) {
            ++reads_at_eof_;
            return EOF;
        }
        Line line = std::move(script_.front());
        script_.pop_front();
        if (line.before) line.before();
        pending_ = line.text;
        if (line.newline) pending_.push_back('\n');
        if (pending_.empty()) {
            ++reads_at_eof_;
            return EOF;
        }
    }
    const unsigned char c = static_cast<unsigned char>(pending_.front());
    pending_.erase(pending_.begin());
    return c;
}

void ConsoleHarness::sleep(std::chrono::milliseconds d) {
    sleeps_.push_back(d);
    if (sleeps_.size() == interrupt_at_sleep) {
        interrupted_ = 130;
        return;
    }
    if (d == std::chrono::milliseconds(100) && stream_alive) deliver(samples(1, {0, 0, 0}));
    if (d == std::chrono::milliseconds(2000)) deliver(samples(bias_samples, {0, 0, 0}, 48000));
}

int ConsoleHarness::run(std::vector<std::string> args) {
    args.insert(args.begin(), "rotabench");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    ConsoleIo io;
    io.read_char = [this] { return read_char(); };
    io.streams = OutputStreams{bench_.out.get(), bench_.err.get()};
    io.sleep = [this](std::chrono::milliseconds d) { sleep(d); };
    io.interrupted = [this] { return interrupted_; };
    io.clock = &bench_.bus.clock();
    reader_options.streams = io.streams;
    reader_options.log = &log_;

    ReaderFactory factory = [this](SampleCallback cb) -> std::unique_ptr<ImuReader> {
        if (source_ == Source::SimBus)
            return std::make_unique<VantisImu>(std::move(cb), bench_.bus, bench_.bus.clock(), bench_.reader_options());
        auto reader = std::make_unique<FakeReader>(std::move(cb), reader_options);
        reader_ = reader.get();
        return reader;
    };
    const int code = run_program(static_cast<int>(args.size()), argv.data(), factory, io).exit_code;
    reader_ = nullptr;
    return code;
}

}  // namespace vesko::test
