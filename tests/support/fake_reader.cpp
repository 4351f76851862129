#include "support/fake_reader.h"

#include <cstdio>

namespace vesko::test {

FakeReader::FakeReader(SampleCallback callback, Options options)
    : callback_(std::move(callback)), options_(std::move(options)) {}

FakeReader::~FakeReader() {
    const bool stopped = stop_calls_ > 0;
    stop();
    if (options_.log) {
        options_.log->serials = serials_;
        options_.log->stopped_before_destruction = stopped;
    }
}

bool FakeReader::start(const char* serial) {
    std::lock_guard<std::mutex> lock(mutex_);
    serials_.emplace_back(serial);
    if (running_) return true;
    if (!options_.start_ok) {
        options_.streams.err.write(
            "VantisImu: no matching 28DE:2300 MI_00 device (Telvar unplugged? wrong --imu-serial?)\n");
        return false;
    }
    running_ = true;
    quit_ = false;
    thread_ = std::thread([this] { loop(); });
    return true;
}

bool FakeReader::last_sample(ImuSample& out, double* age) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!has_latest_) return false;
    out = latest_;
    if (age) *age = 0.0;
    return true;
}

std::string FakeReader::device_name() {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_ || has_latest_ ? options_.device_name : std::string();
}

void FakeReader::stop() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++stop_calls_;
        quit_ = true;
        running_ = false;
        thread.swap(thread_);
    }
    cv_.notify_all();
    if (thread.joinable()) thread.join();
}

void FakeReader::deliver(const std::vector<ImuSample>& batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!running_) return;
    queue_.push_back(batch);
    ++pending_;
    cv_.notify_all();
    cv_.wait(lock, [this] { return pending_ == 0 || quit_; });
}

void FakeReader::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_) return;
        std::vector<ImuSample> batch = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        for (const ImuSample& s : batch) {
            if (callback_) callback_(s);
            std::lock_guard<std::mutex> relock(mutex_);
            latest_ = s;
            has_latest_ = true;
        }
        lock.lock();
        --pending_;
        cv_.notify_all();
    }
}

}  // namespace vesko::test
