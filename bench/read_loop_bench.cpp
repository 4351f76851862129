// The reader's whole loop over the simulated bus: VantisImu's thread issues
// each read, the bus completes it at once from a source that always has a
// report due, and the report goes through process_report into the console's
// callback while a run integrates. Per report this is the loop's own cost
// (the hand-over lock, the event, the bus's lock and bookkeeping) on top of
// the reader's work.
//
// The bus runs in virtual time and its clock never moves: once the source is
// empty the reader blocks in its wait until the benchmark hands it the next
// batch, so a batch is timed from hand-over to the reader asking for the
// report after its last.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "console/cal_accumulator.h"
#include "imu/vantis_imu.h"
#include "platform/sim/report_source.h"
#include "platform/sim/sim_bus.h"
#include "platform/sim/sim_topology.h"
#include "report_ring.h"

namespace vesko::bench {
namespace {

constexpr std::int64_t kBatchReports = 4096;

// Plays the report ring, as many reports as it was given, all due at once,
// and tells the benchmark when the reader has taken them all and come back
// for more (so the last one went through the callback).
class RingSource final : public platform::sim::ReportSource {
public:
    void give(std::int64_t reports) { given_.fetch_add(reports); }

    // True once the reader, with `total` reports taken, asked for another.
    bool wait_drained(std::int64_t total, std::chrono::seconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return drained_cv_.wait_for(lock, timeout, [&] { return drained_at_ >= total; });
    }

    std::optional<std::int64_t> next_report_time() override {
        if (taken_ < given_.load()) return std::int64_t{0};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            drained_at_ = std::max(drained_at_, taken_);
        }
        drained_cv_.notify_all();
        return std::nullopt;
    }

    std::size_t take_report(std::int64_t, std::uint8_t* buffer, std::size_t capacity) override {
        const ReportBytes& r = report_ring()[static_cast<std::size_t>(taken_) % kRingReports];
        ++taken_;
        const std::size_t n = std::min(r.size(), capacity);
        std::memcpy(buffer, r.data(), n);
        return n;
    }

private:
    std::atomic<std::int64_t> given_{0};
    std::int64_t taken_ = 0;  // the reading thread's alone
    std::mutex mutex_;
    std::condition_variable drained_cv_;
    std::int64_t drained_at_ = -1;  // guarded by mutex_; -1 until the first ask
};

void BM_ReadLoopSimBus(benchmark::State& state) {
    std::FILE* devnull = std::fopen("/dev/null", "w");
    if (devnull == nullptr) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    const std::u16string hub = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)";
    platform::sim::SimBus bus(platform::sim::TimeMode::Virtual);
    platform::sim::add_mcu(bus, std::nullopt, hub + u"#USB(4)");
    platform::sim::SimModuleConfig config;
    config.serial = u"KVR-0001";
    config.location = hub + u"#USB(2)";
    const platform::sim::SimModule module = platform::sim::add_module(bus, config);
    const auto source = std::make_shared<RingSource>();
    bus.attach_source(module.hid_interface, source);

    CalAccumulator acc;
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        acc.phase = Integrate;
    }
    bool ok = true;
    {
        // The callback exactly as run_program wires it.
        VantisImu imu([&acc](const ImuSample& s) { on_sample(acc, s); }, bus,
                      OutputStreams{devnull, devnull});
        if (!imu.start("")) {
            state.SkipWithError("the reader did not start on the simulated bus");
            ok = false;
        } else if (!source->wait_drained(0, std::chrono::seconds(5))) {
            state.SkipWithError("the reader never asked for a report");
            ok = false;
        } else {
            // The benchmark's thread waits on the source, not on the bus: the
            // bus wakes every thread blocked on it at each completed read.
            std::int64_t total = 0;
            for (auto _ : state) {
                total += kBatchReports;
                source->give(kBatchReports);
                bus.notify_source_changed();
                if (!source->wait_drained(total, std::chrono::seconds(5))) {
                    state.SkipWithError("the reader did not finish its batch");
                    ok = false;
                    break;
                }
            }
        }
        bus.set_free_running(true);
        imu.stop();
    }
    std::fclose(devnull);
    // Every sample integrated: one interval fewer than samples delivered.
    const auto samples = static_cast<std::uint64_t>(kBatchReports) * kSamplesPerReport *
                         static_cast<std::uint64_t>(state.iterations());
    if (ok && acc.interval_count + 1 != samples) {
        state.SkipWithError("not every sample reached the callback");
    }
    state.counters["per_report"] =
        benchmark::Counter(static_cast<double>(kBatchReports),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_ReadLoopSimBus)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace vesko::bench
