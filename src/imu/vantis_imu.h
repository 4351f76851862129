#pragma once

// VantisImu: the stream reader on the platform seam, with its reader thread, silence detection and
// reconnection.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "imu/imu_reader.h"
#include "imu/report_processing.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "text/streams.h"

namespace vesko {

struct VantisImuOptions {
    OutputStreams streams{};
};

// The live stream reader of one tracking module. start() finds and opens the
// module through discovery and runs a reader thread that keeps one overlapped
// read of an input report going at a time. Three silent one-second waits or a
// failed read close the module; the thread then looks for it again, quietly,
// every two seconds until it is back or stop() is called. stop() ends the
// thread at once from every state: it cancels the read in flight, or, while
// no module is open, sets the read event that the pause waits on. Host time
// (when a report arrived, a sample's age) is `clock`'s, and the reader thread
// is started and joined through it.
//
// Threads: the owner calls every public operation from one thread; the reader
// thread runs read_loop() and the sample callback. `device` is handed over
// between the two under `device_mutex_`, so stop() never cancels a handle the
// reader thread is closing or replacing. `mutex_` guards only the name and
// the latest-sample record; the two locks are never held together.
class VantisImu final : public ImuReader {
public:
    VantisImu(SampleCallback callback, platform::Platform& platform, platform::Clock& clock,
              VantisImuOptions options = {});
    ~VantisImu() override;

    bool start(const char* serial) override;
    bool last_sample(ImuSample& out, double* age) override;
    std::string device_name() override;
    void stop() override;

private:
    void read_loop();
    // Waiting for a module: quiet rediscovery after a two-second pause on the
    // read event. False when a stop was requested before a module came back.
    bool wait_for_module(SequenceFilter& filter, int& silent_waits);
    void close_device();

    platform::Platform& platform_;
    platform::Clock& clock_;
    const VantisImuOptions options_;

    std::mutex device_mutex_;                        // the hand-over of `device_`
    platform::Handle device_ = platform::kNoHandle;  // guarded by device_mutex_
    platform::Handle read_event_ = platform::kNoHandle;
    std::u16string requested_serial_;
    platform::Thread thread_;
    const SampleCallback sample_callback_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_requested_{false};

    std::mutex mutex_;
    std::string device_name_;    // guarded by mutex_
    LatestSampleRecord record_;  // guarded by mutex_
};

}  // namespace vesko
