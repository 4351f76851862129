// The live stream reader on a simulated bus, in virtual time: reports at
// their times, silence and failed reads, quiet rediscovery, reconnection,
// and stop at every point; and once on the bus in real time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

#include "imu/vantis_imu.h"
#include "support/paired_bus.h"
#include "support/report_bytes.h"
#include "support/steady_report_source.h"

namespace vesko {
namespace {

using namespace std::chrono_literals;
using platform::sim::BusEvent;
using platform::sim::ReadStep;

const std::u16string kHubB = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)#USB(4)";
constexpr std::int64_t kMs = 1'000'000;

const std::string kSilent = "VantisImu: stream silent 3s \xE2\x80\x94 device gone, waiting for a Telvar\n";
const std::string kNoMatch = "VantisImu: no matching 28DE:2300 MI_00 device (Telvar unplugged? wrong --imu-serial?)\n";

// The bus's clock for the reader's thread, with host time the test sets
// and a thread start the test can make fail.
class HostClock final : public platform::Clock {
public:
    explicit HostClock(platform::Clock& bus) : bus_(bus) {}

    std::atomic<std::int64_t> host_ns{0};
    bool refuse_threads = false;

    std::int64_t now_ns() override { return host_ns.load(); }
    void sleep_until(std::int64_t t_ns) override { bus_.sleep_until(t_ns); }
    std::thread launch(std::string name, int rank, std::function<void()> body) override {
        if (refuse_threads) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return bus_.launch(std::move(name), rank, std::move(body));
    }
    void join(std::thread& thread) override { bus_.join(thread); }

private:
    platform::Clock& bus_;
};

// One module paired with an MCU, the reader over it, and what the reader
// delivered.
struct Rig : test::PairedBus {
    std::mutex mutex;
    std::vector<ImuSample> samples;
    HostClock clock{bus.clock()};
    std::unique_ptr<VantisImu> imu;

    explicit Rig(std::optional<std::u16string> serial = u"KVR-0001") : PairedBus(std::move(serial)) {}
    VantisImu& reader() {
        if (!imu) {
            imu = std::make_unique<VantisImu>(
                [this](const ImuSample& s) {
                    std::lock_guard<std::mutex> lock(mutex);
                    samples.push_back(s);
                },
                bus, clock, reader_options());
        }
        return *imu;
    }
    void start_streaming() {
        ASSERT_TRUE(reader().start(""));
        yield();
    }
    std::vector<std::uint8_t> seqs() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::uint8_t> out;
        for (const auto& s : samples) out.push_back(s.seq);
        return out;
    }
    std::vector<std::int64_t> times_of(BusEvent::Kind kind) const {
        std::vector<std::int64_t> out;
        for (const auto& e : bus.events()) {
            if (e.kind == kind) out.push_back(e.time_ns / kMs);
        }
        return out;
    }
};

TEST(VantisImuStart, UsingLineNameAndStartWhileRunning) {
    Rig rig;
    rig.start_streaming();
    EXPECT_EQ(rig.out.text(), "VantisImu: 1 Gantrell device(s), 1 MCU-paired\nVantisImu: using KVR-0001\n");
    EXPECT_EQ(rig.reader().device_name(), "KVR-0001");
    EXPECT_TRUE(rig.reader().start("KVR-OTHER"));  // Running: nothing happens
    EXPECT_EQ(rig.times_of(BusEvent::Kind::Enumerate).size(), 1u);
    EXPECT_EQ(rig.out.text().size(), std::string("VantisImu: 1 Gantrell device(s), 1 MCU-paired\n"
                                                 "VantisImu: using KVR-0001\n")
                                         .size());
    rig.reader().stop();
    EXPECT_EQ(rig.err.text(), "");
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
    EXPECT_EQ(rig.bus.bad_close_count(), 0u);
}

TEST(VantisImuStart, NoModuleFailsAndStaysStopped) {
    Rig rig(std::nullopt);
    EXPECT_FALSE(rig.reader().start(""));
    EXPECT_EQ(rig.out.text(), "VantisImu: 0 Gantrell device(s), 0 MCU-paired\n");
    EXPECT_EQ(rig.err.text(), kNoMatch);
    rig.reader().stop();                   // nothing to stop
    EXPECT_FALSE(rig.reader().start(""));  // discovery runs again
    EXPECT_EQ(rig.times_of(BusEvent::Kind::Enumerate).size(), 2u);
    EXPECT_EQ(rig.reader().device_name(), "");
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
}

TEST(VantisImuStart, NoSampleYetLeavesOutAndAgeAlone) {
    Rig rig;
    ImuSample out;
    out.seq = 77;
    double age = -1.0;
    EXPECT_FALSE(rig.reader().last_sample(out, &age));
    rig.start_streaming();  // the first read is pending, nothing has arrived
    EXPECT_FALSE(rig.reader().last_sample(out, &age));
    EXPECT_EQ(out.seq, 77);
    EXPECT_EQ(age, -1.0);
}

TEST(VantisImuStart, AFailedStartKeepsTheLastModulesName) {
    Rig rig;
    rig.start_streaming();
    rig.reader().stop();
    rig.bus.set_interface_present(rig.module.hid_interface, false);
    EXPECT_FALSE(rig.reader().start(""));
    EXPECT_EQ(rig.err.text(), kNoMatch);
    EXPECT_EQ(rig.reader().device_name(), "KVR-0001");
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
}

TEST(VantisImuStart, FailedEventOrThreadReleasesEverything) {
    {
        Rig rig;
        rig.bus.set_event_creation_fails(true);
        EXPECT_FALSE(rig.reader().start(""));
        EXPECT_EQ(rig.err.text(), "VantisImu: cannot create the read event \xE2\x80\x94 module closed\n");
        EXPECT_EQ(rig.reader().device_name(), "");
        EXPECT_EQ(rig.bus.open_handle_count(), 0u);
    }
    {
        Rig rig;
        rig.clock.refuse_threads = true;
        EXPECT_FALSE(rig.reader().start(""));
        EXPECT_EQ(rig.err.text().rfind("VantisImu: cannot start the reader thread (err ", 0), 0u);
        EXPECT_EQ(rig.reader().device_name(), "");
        EXPECT_EQ(rig.bus.open_handle_count(), 0u);
        rig.reader().stop();
        EXPECT_EQ(rig.bus.bad_close_count(), 0u);
    }
}

TEST(VantisImuReadLoop, TwoTimeOutsThenAReportKeepTheStream) {
    Rig rig;
    rig.bus.queue_reads(rig.module.hid_interface,
                        {ReadStep::silent(), ReadStep::silent(), ReadStep::completed(test::imu_report(7))});
    rig.start_streaming();
    rig.sleep_ms(2000);
    EXPECT_EQ(rig.seqs(), (std::vector<std::uint8_t>{7, 8, 9}));
    // The count starts again: two more silent waits are still no outage.
    rig.sleep_ms(2999);
    EXPECT_EQ(rig.err.text(), "");
    rig.sleep_ms(1);
    EXPECT_EQ(rig.err.text(), kSilent);
    EXPECT_EQ(rig.times_of(BusEvent::Kind::Close), (std::vector<std::int64_t>{5000}));
}

TEST(VantisImuReadLoop, ThreeTimeOutsCloseAndRediscoverEveryTwoSeconds) {
    Rig rig;
    rig.bus.queue_reads(rig.module.hid_interface, {ReadStep::completed(test::imu_report(1))});
    rig.clock.host_ns = 0;
    rig.start_streaming();
    rig.sleep_ms(3000);
    EXPECT_EQ(rig.err.text(), kSilent);
    EXPECT_EQ(rig.times_of(BusEvent::Kind::Close), (std::vector<std::int64_t>{3000}));

    // The module leaves the bus: rediscovery is quiet, every two seconds.
    rig.bus.set_interface_present(rig.module.hid_interface, false);
    rig.clock.host_ns = 6000 * kMs;
    rig.sleep_ms(4000);
    EXPECT_EQ(rig.times_of(BusEvent::Kind::Enumerate), (std::vector<std::int64_t>{0, 5000, 7000}));
    EXPECT_EQ(rig.err.text(), kSilent);
    EXPECT_EQ(rig.out.text().find("Gantrell", 60), std::string::npos);  // no count line again

    // During the outage the last sample stays, and its age grows.
    ImuSample last;
    double age = 0;
    ASSERT_TRUE(rig.reader().last_sample(last, &age));
    EXPECT_EQ(last.seq, 3);
    EXPECT_DOUBLE_EQ(age, 6.0);

    rig.bus.set_interface_present(rig.module.hid_interface, true);
    rig.sleep_ms(2000);
    EXPECT_EQ(rig.err.text(), kSilent + "VantisImu: reconnected to KVR-0001\n");
    rig.reader().stop();
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
    EXPECT_EQ(rig.bus.bad_close_count(), 0u);
}

TEST(VantisImuReadLoop, ReportsArriveAtTheirTimes) {
    Rig rig;
    rig.bus.attach_source(rig.module.hid_interface, std::make_shared<test::SteadyReportSource>());
    rig.start_streaming();
    rig.sleep_ms(30);  // reports at 3, 6, ... 30 ms
    const auto seqs = rig.seqs();
    ASSERT_EQ(seqs.size(), 30u);
    for (std::size_t i = 0; i < seqs.size(); ++i) EXPECT_EQ(seqs[i], i);
    EXPECT_EQ(rig.err.text(), "");
}

TEST(VantisImuReadLoop, RealTimeBusStreamsAndStops) {
    test::PairedBus b(u"KVR-0001", platform::sim::TimeMode::Real);
    b.bus.attach_source(b.module.hid_interface, std::make_shared<test::SteadyReportSource>());
    VantisImu imu({}, b.bus, b.bus.clock(), b.reader_options());
    ASSERT_TRUE(imu.start("KVR-0001"));
    ImuSample s;
    for (int i = 0; i < 400 && !imu.last_sample(s, nullptr); ++i) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(imu.last_sample(s, nullptr));
    imu.stop();
    EXPECT_EQ(b.bus.open_handle_count(), 0u);
    EXPECT_EQ(b.err.text(), "");
}

TEST(VantisImuReadLoop, ABadReportBetweenTimeOutsEndsTheSilence) {
    Rig rig;
    std::vector<std::uint8_t> short_report = test::imu_report(1);
    short_report.resize(51);
    std::vector<std::uint8_t> other_id = test::imu_report(1);
    other_id[0] = 0x21;
    rig.bus.queue_reads(rig.module.hid_interface,
                        {ReadStep::silent(), ReadStep::silent(), ReadStep::completed(short_report), ReadStep::silent(),
                         ReadStep::completed(other_id)});
    rig.start_streaming();
    rig.sleep_ms(5000);  // never three silent waits in a row
    EXPECT_EQ(rig.err.text(), "");
    EXPECT_TRUE(rig.seqs().empty());
    rig.sleep_ms(1000);
    EXPECT_EQ(rig.err.text(), kSilent);
}

TEST(VantisImuReadLoop, FailedReadsDeclareTheModuleGone) {
    {
        Rig rig;
        rig.bus.queue_reads(rig.module.hid_interface, {ReadStep::failed(31)});
        rig.start_streaming();
        EXPECT_EQ(rig.err.text(),
                  "VantisImu: ReadFile failed (err 31) \xE2\x80\x94 device gone, waiting for reconnect\n");
        EXPECT_EQ(rig.times_of(BusEvent::Kind::Close), (std::vector<std::int64_t>{0}));
    }
    {
        Rig rig;
        rig.bus.queue_reads(rig.module.hid_interface, {ReadStep::failed_after(10ms, 4294967295u)});
        rig.start_streaming();
        rig.sleep_ms(10);
        EXPECT_EQ(rig.err.text(),
                  "VantisImu: read failed (err 4294967295) \xE2\x80\x94 device gone, "
                  "waiting for reconnect\n");
    }
    {
        Rig rig;  // unplugged while a read is pending
        rig.start_streaming();
        rig.bus.set_interface_present(rig.module.hid_interface, false);
        rig.yield();
        EXPECT_EQ(rig.err.text(),
                  "VantisImu: read failed (err 1167) \xE2\x80\x94 device gone, waiting for reconnect\n");
        rig.reader().stop();
        EXPECT_EQ(rig.bus.open_handle_count(), 0u);
    }
}

TEST(VantisImuReadLoop, ReconnectionMayOpenAnotherModuleWithAFreshFilter) {
    Rig rig;
    const auto other = rig.add_module(u"KVR-0002", kHubB + u"#USB(1)");  // not paired yet
    rig.bus.queue_reads(rig.module.hid_interface, {ReadStep::completed(test::imu_report(100))});
    // Far behind 102 for a filter that was not reset.
    rig.bus.queue_reads(other.hid_interface, {ReadStep::completed(test::imu_report(250))});
    rig.start_streaming();
    EXPECT_EQ(rig.seqs(), (std::vector<std::uint8_t>{100, 101, 102}));

    rig.bus.set_interface_present(rig.module.hid_interface, false);
    simulator::add_mcu(rig.bus, std::nullopt, kHubB + u"#USB(2)");
    rig.sleep_ms(2000);
    EXPECT_EQ(rig.reader().device_name(), "KVR-0002");
    EXPECT_EQ(rig.err.text(),
              "VantisImu: read failed (err 1167) \xE2\x80\x94 device gone, waiting for reconnect\n"
              "VantisImu: reconnected to KVR-0002\n");
    EXPECT_EQ(rig.seqs(), (std::vector<std::uint8_t>{100, 101, 102, 250, 251, 252}));
}

TEST(VantisImuStop, DuringAPendingReadReturnsAtOnce) {
    Rig rig;
    rig.start_streaming();
    rig.reader().stop();
    EXPECT_EQ(rig.bus.now_ns(), 0);
    EXPECT_EQ(rig.err.text(), "");
    EXPECT_EQ(rig.times_of(BusEvent::Kind::CancelAll).size(), 1u);
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
    rig.reader().stop();  // a second stop does nothing
    EXPECT_EQ(rig.bus.bad_close_count(), 0u);
}

TEST(VantisImuStop, DuringAPauseReturnsAtOnce) {
    Rig rig;
    rig.start_streaming();
    rig.sleep_ms(3500);  // silent, closed, in the pause
    const auto start = std::chrono::steady_clock::now();
    rig.reader().stop();
    RecordProperty("stop_us", static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                   std::chrono::steady_clock::now() - start)
                                                   .count()));
    EXPECT_EQ(rig.bus.now_ns(), 3500 * kMs);
    EXPECT_EQ(rig.times_of(BusEvent::Kind::Enumerate).size(), 1u);  // no rediscovery
    EXPECT_EQ(rig.err.text(), kSilent);
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
}

TEST(VantisImuStop, DuringARediscoveryClosesWhatItOpened) {
    Rig rig;
    rig.start_streaming();
    rig.bus.hold_enumeration(true);
    rig.sleep_ms(5000);  // the rediscovery at 5 s is caught in its enumeration
    ASSERT_EQ(rig.times_of(BusEvent::Kind::Enumerate).size(), 2u);
    // stop() on a thread of its own reaches its join; then the enumeration
    // goes on, opens the module, and the reader ends at the stop request.
    platform::Thread stopper =
        rig.bus.clock().start_thread("stopper", platform::kOtherRank, [&rig] { rig.reader().stop(); });
    rig.yield();
    rig.bus.hold_enumeration(false);
    stopper.join();
    EXPECT_EQ(rig.err.text(), kSilent + "VantisImu: reconnected to KVR-0001\n");
    EXPECT_EQ(rig.bus.now_ns(), 5000 * kMs);
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
    EXPECT_EQ(rig.bus.bad_close_count(), 0u);
}

TEST(VantisImuStop, StartAfterStopBeginsAfresh) {
    Rig rig;
    rig.bus.queue_reads(rig.module.hid_interface, {ReadStep::completed(test::imu_report(200))});
    rig.start_streaming();
    rig.reader().stop();
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);

    // A counter far behind the last accepted one: only a reset filter takes it.
    rig.bus.queue_reads(rig.module.hid_interface, {ReadStep::completed(test::imu_report(10))});
    rig.start_streaming();
    EXPECT_EQ(rig.seqs(), (std::vector<std::uint8_t>{200, 201, 202, 10, 11, 12}));
    EXPECT_EQ(rig.out.text(),
              "VantisImu: 1 Gantrell device(s), 1 MCU-paired\nVantisImu: using KVR-0001\n"
              "VantisImu: 1 Gantrell device(s), 1 MCU-paired\nVantisImu: using KVR-0001\n");
    rig.imu.reset();  // destruction stops
    EXPECT_EQ(rig.bus.open_handle_count(), 0u);
    EXPECT_EQ(rig.bus.bad_close_count(), 0u);
}

}  // namespace
}  // namespace vesko
