#pragma once

// process_report: one completed read through decoding, the sequence filter, the latest-sample
// record and the callback.

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "imu/imu_sample.h"
#include "imu/sequence_filter.h"
#include "platform/clock.h"

namespace vesko {

// The most recently accepted sample and when its report arrived. Lives in the
// reader object, guarded by the reader's mutex.
struct LatestSampleRecord {
    ImuSample latest{};
    bool has_latest = false;
    std::int64_t latest_host_ns = 0;
};

// What the reader thread hands the processing of one completed read.
struct ReportSink {
    SequenceFilter& filter;          // reader-thread private
    std::mutex& mutex;               // the reader's lock
    LatestSampleRecord& record;      // guarded by `mutex`
    const SampleCallback& callback;  // may be empty
    platform::Clock& clock;          // host time: when the report arrived
};

// The reader thread's step for one completed read: validate and decode the
// report, read the clock once, filter the three slots and update the record
// under one lock, then deliver the accepted samples in slot order with the
// lock released. A bad report touches nothing. Returns the number delivered.
std::size_t process_report(const std::uint8_t* data, std::size_t length, const ReportSink& sink);

}  // namespace vesko
