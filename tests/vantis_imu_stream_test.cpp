// The reader streaming from a module that sends reports at its real rate,
// and the whole console dialogue on it over the simulated bus.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "console/program.h"
#include "imu/vantis_imu.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"
#include "support/captured_stream.h"
#include "support/sim_bus_feed.h"
#include "simulator/session/sim_reader.h"
#include "support/steady_report_source.h"

namespace vesko {
namespace {

using namespace std::chrono_literals;

const std::u16string kHub = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)";

// One paired module fed by a steady source; the test's thread takes part in
// the bus clock as the console.
struct Bench {
    platform::sim::SimBus bus;
    platform::sim::SimBus::Participation console{bus, "console", platform::sim::kConsoleRank};
    simulator::SimModule module;
    std::shared_ptr<test::SteadyReportSource> source = std::make_shared<test::SteadyReportSource>();
    test::CapturedStream out;
    test::CapturedStream err;

    explicit Bench(platform::sim::TimeMode mode = platform::sim::TimeMode::Virtual, bool with_module = true) : bus(mode) {
        simulator::add_mcu(bus, std::nullopt, kHub + u"#USB(4)");
        if (!with_module) return;
        simulator::SimModuleConfig config;
        config.serial = u"KVR-0001";
        config.location = kHub + u"#USB(1)";
        module = simulator::add_module(bus, config);
        bus.attach_source(module.hid_interface, source);
    }
    VantisImuOptions reader_options() { return simulator::reader_options_on(bus, {out.get(), err.get()}); }
};

TEST(VantisImuStream, ReportsArriveAtTheirTimesInVirtualTime) {
    Bench b;
    std::mutex m;
    std::vector<std::uint8_t> seqs;
    VantisImu imu([&](const ImuSample& s) { std::lock_guard<std::mutex> l(m); seqs.push_back(s.seq); },
                  b.bus, b.reader_options());
    ASSERT_TRUE(imu.start(""));
    b.bus.sleep_ms(30);  // reports at 3, 6, ... 30 ms
    {
        std::lock_guard<std::mutex> l(m);
        ASSERT_EQ(seqs.size(), 30u);
        for (std::size_t i = 0; i < seqs.size(); ++i) EXPECT_EQ(seqs[i], i);
    }
    EXPECT_EQ(b.err.text(), "");
    imu.stop();
    EXPECT_EQ(b.bus.open_handle_count(), 0u);
}

TEST(VantisImuStream, RealTimeBusStreamsAndStops) {
    Bench b(platform::sim::TimeMode::Real);
    VantisImu imu({}, b.bus, b.reader_options());
    ASSERT_TRUE(imu.start("KVR-0001"));
    ImuSample s;
    for (int i = 0; i < 400 && !imu.last_sample(s, nullptr); ++i) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(imu.last_sample(s, nullptr));
    imu.stop();
    EXPECT_EQ(b.bus.open_handle_count(), 0u);
    EXPECT_EQ(b.err.text(), "");
}

// The console's operator: lines typed on request, each after an optional
// action (the jig turning while the operator waits to press Enter).
struct Operator {
    struct Line {
        std::string text;
        std::function<void()> before;
    };
    std::deque<Line> lines;
    std::string pending;

    int read_char() {
        if (pending.empty()) {
            if (lines.empty()) return EOF;
            Line line = std::move(lines.front());
            lines.pop_front();
            if (line.before) line.before();
            pending = line.text + "\n";
        }
        const int c = static_cast<unsigned char>(pending.front());
        pending.erase(pending.begin());
        return c;
    }
};

int run_console(Bench& b, Operator& op, std::vector<const char*> args = {"rotabench"}) {
    ConsoleIo io;
    io.read_char = [&op] { return op.read_char(); };
    io.streams = OutputStreams{b.out.get(), b.err.get()};
    io.sleep = [&b](std::chrono::milliseconds d) { b.bus.sleep_ms(static_cast<std::uint32_t>(d.count())); };
    return run_program(static_cast<int>(args.size()), args.data(),
                       [&b](SampleCallback cb) -> std::unique_ptr<ImuReader> {
                           return std::make_unique<VantisImu>(std::move(cb), b.bus, b.reader_options());
                       },
                       io).exit_code;
}

const std::string kPrompt = "rotation angle in degrees for this run (90/180/360, q=quit): ";

TEST(ConsoleOnSimBus, OneRunAboutXThenQuit) {
    Bench b;
    b.source->set_gyro({12, -7, 3});
    Operator op;
    op.lines = {{"90", {}},
                {"", {}},
                {"",
                 [&b] {
                     b.source->set_gyro({12 + 1600, -7, 3});  // 1600 LSB for one second
                     b.bus.sleep_ms(1000);
                     b.source->set_gyro({12, -7, 3});
                 }},
                {"q", {}}};
    EXPECT_EQ(run_console(b, op), 0);
    EXPECT_EQ(b.err.text(), "");
    // Bias: reports at 102 ... 2100 ms; the run: 2103 ... 3100 ms, 998 intervals of 1 ms.
    EXPECT_EQ(b.out.text(),
              "VantisImu: 1 Gantrell device(s), 1 MCU-paired\n"
              "VantisImu: using KVR-0001\n"
              "IMU streaming from KVR-0001\n\n" +
                  kPrompt + "  hold STILL against the jig \xE2\x80\x94 2 s bias capture... bias [12.00 -7.00 3.00] LSB"
                  "  noise sd [0.0 0.0 0.0] (2001 samples)\n"
                  "  press Enter to ARM, rotate exactly 90 deg (settle ~1 s still before/after), Enter again "
                  "to finish:   ...integrating, finish with Enter:   integral [1596.8 0.0 0.0] LSB*s  "
                  "(998 samples, max dt 0.0010 s)\n"
                  "  dominant axis X (sign +)  off-axis leakage 0.0%\n"
                  "  scale = 0.000983715 rad/s/LSB   vs 1/1024: +0.73%   vs 0.001: -1.63%\n\n" +
                  kPrompt +
                  "\n==== summary (1 runs) ====\n"
                  "X: 1 runs  mean 0.000983715  spread 0.00%  vs 1/1024 +0.73%  vs 0.001 -1.63%\n"
                  "Y: NO RUNS \xE2\x80\x94 gate requires all axes\n"
                  "Z: NO RUNS \xE2\x80\x94 gate requires all axes\n"
                  "gate: per-axis mean must sit within ~2% of one consistent value on all three axes\n");
    EXPECT_EQ(b.bus.open_handle_count(), 0u);
}

TEST(ConsoleOnSimBus, NoModuleExitsOne) {
    Bench b(platform::sim::TimeMode::Virtual, false);
    Operator op;
    EXPECT_EQ(run_console(b, op), 1);
    EXPECT_EQ(b.out.text(), "VantisImu: 0 Gantrell device(s), 0 MCU-paired\n");
    EXPECT_EQ(b.err.text(),
              "VantisImu: no matching 28DE:2300 MI_00 device (Telvar unplugged? wrong --imu-serial?)\n");
}

TEST(ConsoleOnSimBus, SilentModuleGivesNoSamplesAfterFiveSeconds) {
    Bench b;
    b.bus.attach_source(b.module.hid_interface, nullptr);  // a module that never reports
    Operator op;
    EXPECT_EQ(run_console(b, op), 1);
    EXPECT_EQ(b.err.text(),
              "VantisImu: stream silent 3s \xE2\x80\x94 device gone, waiting for a Telvar\n"
              "VantisImu: reconnected to KVR-0001\n"
              "no IMU samples after 5 s\n");
    EXPECT_EQ(b.bus.now_ns(), 5'000'000'000);
    EXPECT_EQ(b.bus.open_handle_count(), 0u);
}

TEST(SimBusFeed, DeliversEveryBatchThroughTheRealReaderWithoutTime) {
    test::SimBusFeed feed;
    test::CapturedStream out;
    test::CapturedStream err;
    std::vector<std::uint8_t> seqs;  // written on the reader thread; read after deliver()
    std::mutex m;
    auto reader = feed.reader_factory({out.get(), err.get()})([&](const ImuSample& s) {
        std::lock_guard<std::mutex> l(m);
        seqs.push_back(s.seq);
    });
    ASSERT_TRUE(reader->start(""));
    std::vector<ImuSample> batch(7);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        batch[i].seq = static_cast<std::uint8_t>(250 + i);
        batch[i].timestamp = static_cast<std::uint32_t>(48000 * i);
    }
    feed.deliver(batch);
    {
        std::lock_guard<std::mutex> l(m);
        EXPECT_EQ(seqs, (std::vector<std::uint8_t>{250, 251, 252, 253, 254, 255, 0}));
    }
    EXPECT_EQ(reader->device_name(), "KVR-TEST01");
    EXPECT_EQ(feed.bus().now_ns(), 0);
    reader->stop();
    EXPECT_EQ(out.text(), "VantisImu: 1 Gantrell device(s), 1 MCU-paired\nVantisImu: using KVR-TEST01\n");
    EXPECT_EQ(err.text(), "");
}

}  // namespace
}  // namespace vesko
