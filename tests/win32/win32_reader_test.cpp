// The stream reader on the real Win32 read path: a named pipe plays the
// module, the reader opens it through discovery and reads it with overlapped
// I/O on its own thread.

#include "imu/vantis_imu.h"
#include "pipe_bus.h"
#include "pipe_module.h"
#include "support/captured_stream.h"
#include "support/report_bytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace vesko {
namespace {

using testing::PipeBus;
using Clock = std::chrono::steady_clock;

// Waits and pauses twenty times shorter: one second of silence is 50 ms.
constexpr std::uint32_t kFast = 20;

const std::string kSilentLine =
    "VantisImu: stream silent 3s \xE2\x80\x94 device gone, waiting for a Telvar\n";
const std::string kGoneTail = " \xE2\x80\x94 device gone, waiting for reconnect\n";

bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class Win32Reader : public ::testing::Test {
protected:
    void TearDown() override {
        reader_.reset();
        if (bus_) {
            // Exact, unlike a count of the process's handles, which the thread
            // library changes as it caches the records of ended threads.
            EXPECT_EQ(bus_->live_handles(), 0u) << "a handle was left open";
            EXPECT_EQ(bus_->stray_closes(), 0u) << "a handle was closed twice or never opened";
        }
        bus_.reset();
    }

    void make(std::uint32_t divisor) {
        bus_.emplace(divisor);
        ASSERT_TRUE(bus_->plug().ok());
        VantisImuOptions options;
        options.streams = OutputStreams{out_.get(), err_.get()};
        reader_.emplace(
            [this](const ImuSample& sample) {
                last_seq_ = sample.seq;
                ++samples_;
            },
            *bus_,
            options);
    }

    test::CapturedStream out_;
    test::CapturedStream err_;
    std::optional<PipeBus> bus_;
    std::optional<VantisImu> reader_;
    std::atomic<int> samples_{0};
    std::atomic<int> last_seq_{-1};
};

TEST_F(Win32Reader, StreamsTheReportsOfThePipe) {
    make(1);
    ASSERT_TRUE(reader_->start("KVR-PIPE0001"));
    EXPECT_EQ(out_.text(), "VantisImu: 1 Gantrell device(s), 0 MCU-paired\nVantisImu: using KVR-PIPE0001\n");
    EXPECT_EQ(reader_->device_name(), "KVR-PIPE0001");

    ASSERT_TRUE(bus_->module()->send(test::imu_report(10)));
    ASSERT_TRUE(bus_->module()->send(test::imu_report(13)));
    ASSERT_TRUE(eventually([&] { return samples_ == 6; }));
    EXPECT_EQ(last_seq_, 15);

    ImuSample latest;
    ASSERT_TRUE(reader_->last_sample(latest, nullptr));
    EXPECT_EQ(latest.seq, 15);
    reader_->stop();
    EXPECT_EQ(err_.text(), "");
}

TEST_F(Win32Reader, ThreeSilentWaitsGiveTheStreamSilentLine) {
    make(kFast);
    ASSERT_TRUE(reader_->start("KVR-PIPE0001"));
    ASSERT_TRUE(eventually([&] { return err_.text().find(kSilentLine) != std::string::npos; }));
    reader_->stop();
    EXPECT_EQ(err_.text(), kSilentLine);
}

TEST_F(Win32Reader, TwoSilentWaitsThenAReportAreNoSilence) {
    make(kFast);
    // Reads 1, 2, 4 and 5 wait in vain; reads 3 and 6 find a report waiting.
    std::atomic<int> reads{0};
    bus_->set_before_read([&] {
        const int read = ++reads;
        if (read == 3 || read == 6) {
            EXPECT_TRUE(bus_->module()->send(test::imu_report(static_cast<std::uint8_t>(read * 10))));
        }
    });
    ASSERT_TRUE(reader_->start("KVR-PIPE0001"));
    ASSERT_TRUE(eventually([&] { return reads >= 8; }));
    reader_->stop();
    EXPECT_EQ(samples_, 6);
    EXPECT_EQ(err_.text(), "");
}

TEST_F(Win32Reader, TheFarEndClosingDuringAReadGivesTheReadFailedLine) {
    make(1);
    ASSERT_TRUE(reader_->start("KVR-PIPE0001"));
    ASSERT_TRUE(bus_->wait_for_pending_reads(1, std::chrono::seconds(10)));
    bus_->unplug();
    const std::string expected = "VantisImu: read failed (err 109)" + kGoneTail;  // ERROR_BROKEN_PIPE
    EXPECT_TRUE(eventually([&] { return err_.text() == expected; })) << err_.text();
    reader_->stop();
    EXPECT_EQ(err_.text(), expected);
}

TEST_F(Win32Reader, AReadIssuedAfterTheFarEndClosedGivesTheReadFileFailedLine) {
    make(1);
    bus_->set_before_read([this] { bus_->unplug(); });
    ASSERT_TRUE(reader_->start("KVR-PIPE0001"));
    ASSERT_TRUE(eventually([&] { return err_.text().find(kGoneTail) != std::string::npos; }));
    reader_->stop();
    const std::string text = err_.text();
    // Closed far end: broken pipe (109), or not connected (233) on some systems.
    EXPECT_TRUE(text == "VantisImu: ReadFile failed (err 109)" + kGoneTail ||
                text == "VantisImu: ReadFile failed (err 233)" + kGoneTail)
        << text;
}

TEST_F(Win32Reader, StopDuringAPendingReadReturnsPromptly) {
    make(1);  // real one-second waits: only the cancellation can end this one early
    ASSERT_TRUE(reader_->start("KVR-PIPE0001"));
    ASSERT_TRUE(bus_->wait_for_pending_reads(1, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // into its wait

    const auto start = Clock::now();
    reader_->stop();
    const auto took = Clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_EQ(err_.text(), "") << "a stop is no failure";
    EXPECT_EQ(samples_, 0);
}

TEST_F(Win32Reader, ASilentModuleUnpluggedAndAnotherPluggedInIsReconnected) {
    make(kFast);
    // The first read on each module finds a report waiting; then it falls silent.
    std::shared_ptr<testing::PipeModule> served;
    bus_->set_before_read([&] {
        const auto module = bus_->module();
        if (module && module != served) {
            served = module;
            EXPECT_TRUE(module->send(test::imu_report(10)));
        }
    });
    ASSERT_TRUE(reader_->start("KVR-PIPE0001"));
    ASSERT_TRUE(eventually([&] { return samples_ == 3; }));
    ASSERT_TRUE(eventually([&] { return err_.text() == kSilentLine; }));
    const unsigned opens_before = bus_->opens();
    bus_->unplug();
    ASSERT_TRUE(bus_->plug().ok());

    // The same `seq` values are taken again: the sequence filter started afresh.
    ASSERT_TRUE(eventually([&] { return samples_ == 6; }));
    reader_->stop();
    EXPECT_EQ(bus_->opens(), opens_before + 1);
    const std::string reconnected = kSilentLine + "VantisImu: reconnected to KVR-PIPE0001\n";
    EXPECT_EQ(err_.text().substr(0, reconnected.size()), reconnected);
    EXPECT_EQ(reader_->device_name(), "KVR-PIPE0001");
}

TEST_F(Win32Reader, NoModuleOnTheBusStartsNothing) {
    make(kFast);
    bus_->unplug();
    EXPECT_FALSE(reader_->start("KVR-PIPE0001"));
    EXPECT_EQ(err_.text(),
              "VantisImu: no matching 28DE:2300 MI_00 device (Telvar unplugged? wrong --imu-serial?)\n");
    EXPECT_EQ(out_.text(), "VantisImu: 0 Gantrell device(s), 0 MCU-paired\n");
}

}  // namespace
}  // namespace vesko
