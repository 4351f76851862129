#pragma once

// FakeReader: a sample source that keeps the reader contract, its thread delivering the samples a test gives it.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imu/imu_reader.h"
#include "text/streams.h"

namespace vesko::test {

// A sample source that keeps the reader contract: delivers the samples it is
// handed on a thread of its own, through the callback, in order.
class FakeReader final : public ImuReader {
public:
    // What the reader saw, kept past its destruction.
    struct Log {
        std::vector<std::string> serials;  // every start() argument
        bool stopped_before_destruction = false;
    };

    struct Options {
        Log* log = nullptr;
        bool start_ok = true;
        std::string device_name = "KVR-TEST01";
        OutputStreams streams{};
    };

    FakeReader(SampleCallback callback, Options options);
    ~FakeReader() override;

    bool start(const char* serial) override;
    bool last_sample(ImuSample& out, double* age) override;
    std::string device_name() override;
    void stop() override;

    // Hands `batch` to the reader thread and returns once every sample has
    // gone through the callback. Nothing is delivered unless Running.
    void deliver(const std::vector<ImuSample>& batch);

private:
    void loop();

    SampleCallback callback_;
    Options options_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::vector<ImuSample>> queue_;
    std::size_t pending_ = 0;
    bool running_ = false;
    bool quit_ = false;
    bool has_latest_ = false;
    ImuSample latest_{};
    std::vector<std::string> serials_;
    int stop_calls_ = 0;
    std::thread thread_;
};

}  // namespace vesko::test
