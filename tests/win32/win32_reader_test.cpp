// The stream reader end to end on the real Win32 read path: a named pipe
// plays the module, the reader opens it through discovery and reads it with
// overlapped I/O on its own thread. What each read does is the contract
// suite's (tests/contract); what the reader makes of it, the portable suite's.

#include "imu/vantis_imu.h"
#include "pipe_bus.h"
#include "pipe_module.h"
#include "support/captured_stream.h"
#include "support/report_bytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace vesko {
namespace {

using testing::PipeBus;
using Clock = std::chrono::steady_clock;

// Waits and pauses twenty times shorter: one second of silence is 50 ms.
constexpr std::uint32_t kFast = 20;

const std::string kSilentLine = "VantisImu: stream silent 3s \xE2\x80\x94 device gone, waiting for a Telvar\n";

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
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
            *bus_, platform::monotonic_clock(), options);
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

}  // namespace
}  // namespace vesko
