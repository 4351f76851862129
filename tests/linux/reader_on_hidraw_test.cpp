// The stream reader with its real thread on this backend, a pseudo-terminal
// standing in for the module's hidraw node: samples flow, stop() returns at
// once through the cancel, and an unplug is seen as a failed read.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_tree.h"
#include "imu/vantis_imu.h"
#include "platform/linux/linux_platform.h"
#include "pty_node.h"
#include "support/report_bytes.h"

namespace vesko::platform::linux_hid {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::string text;
    std::rewind(file);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

class ReaderOnHidrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!node.ok()) {
            GTEST_SKIP() << "no pseudo-terminal available to stand in for a hidraw node";
        }
        ASSERT_NE(out, nullptr);
        ASSERT_NE(err, nullptr);
        testing::FakeSystem::write(bench.fake.sys() / "class/hidraw/hidraw0/dev", node.dev_numbers() + "\n");
    }
    void TearDown() override {
        imu.stop();
        std::fclose(out);
        std::fclose(err);
    }

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
    testing::PtyNode node{bench.fake.dev() / "hidraw0"};
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev()};
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::atomic<int> samples{0};
    VantisImu imu{[this](const ImuSample&) { ++samples; }, platform, VantisImuOptions{OutputStreams{out, err}}};
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
    EXPECT_EQ(contents(out), "VantisImu: 2 Gantrell device(s), 1 MCU-paired\nVantisImu: using KVR-A1\n");
    EXPECT_EQ(contents(err), "");
}

}  // namespace
}  // namespace vesko::platform::linux_hid
