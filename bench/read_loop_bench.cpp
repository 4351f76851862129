// The reader's whole loop over the simulated bus: VantisImu's thread issues
// each read, the bus completes it at once from a source that always has a
// report due, and the report goes through process_report into the console's
// callback while a run integrates. Per report this is the loop's own cost
// (the hand-over lock, the event, the bus's lock and bookkeeping) on top of
// the reader's work.
//
// The bus runs in virtual time and its clock never moves: the benchmark's
// thread and the reader's take part in it, so when the benchmark hands over a
// batch and yields, the reader takes every report at that same instant and
// blocks in its wait, and the benchmark runs again. A batch is timed from
// hand-over to the reader waiting for the report after its last, with two
// thread hand-overs per batch.

#include <benchmark/benchmark.h>

#include <algorithm>
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
#include "report_ring.h"
#include "simulator/session/sim_topology.h"

namespace vesko::bench {
namespace {

constexpr std::int64_t kBatchReports = 4096;

// Plays the report ring, as many reports as it was given, all due at once.
// Asked only by the reader's thread, while the benchmark's waits.
class RingSource final : public platform::sim::ReportSource {
public:
    void give(std::int64_t reports) { given_ += reports; }
    std::int64_t taken() const { return taken_; }

    std::optional<std::int64_t> next_report_time() override {
        if (taken_ < given_) return std::int64_t{0};
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
    std::int64_t given_ = 0;
    std::int64_t taken_ = 0;
};

void BM_ReadLoopSimBus(benchmark::State& state) {
    std::FILE* devnull = std::fopen("/dev/null", "w");
    if (devnull == nullptr) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    const std::u16string hub = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)";
    platform::sim::SimBus bus(platform::sim::TimeMode::Virtual);
    simulator::add_mcu(bus, std::nullopt, hub + u"#USB(4)");
    simulator::SimModuleConfig config;
    config.serial = u"KVR-0001";
    config.location = hub + u"#USB(2)";
    const simulator::SimModule module = simulator::add_module(bus, config);
    const auto source = std::make_shared<RingSource>();
    bus.attach_source(module.hid_interface, source);

    CalAccumulator acc;
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        acc.phase = Integrate;
    }
    bool ok = true;
    {
        const platform::sim::BusClock::Participation self(bus.clock(), "benchmark", platform::kConsoleRank);
        // The callback exactly as run_program wires it.
        VantisImu imu([&acc](const ImuSample& s) { on_sample(acc, s, 0); }, bus, bus.clock(),
                      VantisImuOptions{OutputStreams{devnull, devnull}});
        if (!imu.start("")) {
            state.SkipWithError("the reader did not start on the simulated bus");
            ok = false;
        } else {
            bus.clock().sleep_until(bus.now_ns());  // the reader's first read is pending
            std::int64_t total = 0;
            for (auto _ : state) {
                total += kBatchReports;
                source->give(kBatchReports);
                bus.notify_source_changed();
                bus.clock().sleep_until(bus.now_ns());
                if (source->taken() != total) {
                    state.SkipWithError("the reader did not finish its batch");
                    ok = false;
                    break;
                }
            }
        }
        imu.stop();
    }
    std::fclose(devnull);
    // Every sample integrated: one interval fewer than samples delivered.
    const auto samples =
        static_cast<std::uint64_t>(kBatchReports) * kSamplesPerReport * static_cast<std::uint64_t>(state.iterations());
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
