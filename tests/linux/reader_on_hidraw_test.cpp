// The stream reader with its real thread on this backend, a packet socket
// standing in for the module's hidraw node: samples flow and stop() returns
// at once through the cancel, or from the pause through the read event; a
// node the system refuses is told plainly.

#include <gtest/gtest.h>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_tree.h"
#include "console/program.h"
#include "imu/vantis_imu.h"
#include "platform/linux/linux_platform.h"
#include "report_node.h"
#include "support/captured_stream.h"
#include "support/report_bytes.h"

namespace vesko::platform::linux_hid {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class ReaderOnHidrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!node.ok()) {
            GTEST_SKIP() << "no socket pair available to stand in for a hidraw node";
        }
    }
    void TearDown() override { imu.stop(); }

    bool first_sample_within(milliseconds limit) {
        ImuSample sample;
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            if (imu.last_sample(sample, nullptr)) {
                return true;
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        return false;
    }

    testing::BenchTree bench;
    testing::ReportNode node{bench.fake.dev() / "hidraw0"};
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev(), node.opener()};
    test::CapturedStream out;
    test::CapturedStream err;
    std::atomic<int> samples{0};
    VantisImu imu{[this](const ImuSample&) { ++samples; }, platform, platform::monotonic_clock(),
                  VantisImuOptions{OutputStreams{out.get(), err.get()}}};
};

TEST_F(ReaderOnHidrawTest, SamplesFlowAndStopReturnsAtOnce) {
    ASSERT_TRUE(imu.start(""));
    ASSERT_TRUE(node.send(test::imu_report(1)));
    ASSERT_TRUE(first_sample_within(milliseconds(2000)));
    EXPECT_EQ(imu.device_name(), "KVR-A1");

    std::this_thread::sleep_for(milliseconds(20));  // the reader is back in its wait
    const auto start = Clock::now();
    imu.stop();
    EXPECT_LT(Clock::now() - start, milliseconds(500));
    EXPECT_EQ(samples.load(), 3);
    EXPECT_EQ(out.text(), "VantisImu: 2 Gantrell device(s), 1 MCU-paired\nVantisImu: using KVR-A1\n");
    EXPECT_EQ(err.text(), "");
}

// With the module gone the reader pauses two seconds between rediscoveries;
// stop() ends the pause through the read event instead of waiting it out.
TEST_F(ReaderOnHidrawTest, StopEndsThePauseBetweenRediscoveriesAtOnce) {
    ASSERT_TRUE(imu.start(""));
    node.unplug();
    const auto gone_by = Clock::now() + milliseconds(2000);
    while (err.text().find("device gone") == std::string::npos && Clock::now() < gone_by) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    ASSERT_NE(err.text().find("device gone, waiting for reconnect"), std::string::npos) << err.text();
    std::this_thread::sleep_for(milliseconds(20));  // the reader is in its pause
    const auto start = Clock::now();
    imu.stop();
    const auto took = Clock::now() - start;
    RecordProperty("stop_us", static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
    // The pause used to end within its 100 ms step; now it ends at the signal.
    EXPECT_LT(took, milliseconds(50)) << std::chrono::duration<double, std::milli>(took).count() << " ms";
}

// A fresh system gives the hidraw nodes to root alone. The module whose node
// the system refuses is named, with the fix, before the usual words; every
// other line stays as it was.
TEST(PermissionOnHidraw, AModuleTheSystemWillNotOpenIsNamedAndTheProgramEndsWithOne) {
    testing::BenchTree bench;
    const std::string denied = (bench.fake.dev() / "hidraw0").string();
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev(), [&](const char* path, int flags) {
                               if (path == denied) {
                                   errno = EACCES;
                                   return -1;
                               }
                               return ::open(path, flags);
                           }};
    test::CapturedStream out;
    test::CapturedStream err;
    ConsoleIo io{[] { return EOF; }, OutputStreams{out.get(), err.get()}, [](std::chrono::milliseconds) {}, {}, {}};
    const char* argv[] = {"rotabench"};
    const int code = run_program(1, argv, live_reader(platform, platform::monotonic_clock(), io.streams), io).exit_code;
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out.text(), "VantisImu: 1 Gantrell device(s), 0 MCU-paired\n");
    EXPECT_EQ(err.text(),
              "VantisImu: cannot pick among 1 Gantrell device(s) (0 MCU-paired) \xE2\x80\x94 is the Telvar "
              "attached? Or pass its KVR serial:\n  " +
                  bench.long_serial + "\nVantisImu: no permission to open " + denied +
                  " (module KVR-A1) \xE2\x80\x94 install the udev rule 70-rotabench.rules, see docs/linux.md\n"
                  "VantisImu: no matching 28DE:2300 MI_00 device (Telvar unplugged? wrong --imu-serial?)\n");
}

}  // namespace
}  // namespace vesko::platform::linux_hid
