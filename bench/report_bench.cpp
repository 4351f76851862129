// The reader thread's work for one input report, piece by piece, and the
// floor it is measured against: what any reader of this report must pay at
// the least (take the 52 bytes, read the clock once, and the lock pairs of
// the two records the samples land in).

#include <benchmark/benchmark.h>

#include <cstring>
#include <mutex>

#include "console/cal_accumulator.h"
#include "imu/input_report.h"
#include "imu/report_processing.h"
#include "imu/sequence_filter.h"
#include "imu/steady_clock.h"
#include "report_ring.h"

namespace vesko::bench {
namespace {

// Every report of the ring carries this many samples and the filter accepts
// each of them, so the callback runs this often per report; the floor takes
// as many accumulator lock pairs.
constexpr std::size_t kDelivered = kSamplesPerReport;

// Seconds per report, shown next to the time per iteration.
void per_report(benchmark::State& state, double reports_per_iteration) {
    state.counters["per_report"] =
        benchmark::Counter(reports_per_iteration, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

// An accumulator in the middle of a run: bias known, integrating.
void start_integrating(CalAccumulator& acc) {
    std::lock_guard<std::mutex> lock(acc.mutex);
    acc.phase = Integrate;
    acc.bias[0] = 3.2;
    acc.bias[1] = -4.7;
    acc.bias[2] = 1.9;
}

void BM_Floor(benchmark::State& state) {
    const auto& ring = report_ring();
    std::mutex record_mutex;
    std::mutex accumulator_mutex;
    std::uint8_t copy[kImuReportMinLength];
    std::size_t i = 0;
    for (auto _ : state) {
        std::memcpy(copy, ring[i].data(), sizeof copy);
        benchmark::DoNotOptimize(copy);
        std::int64_t now = steady_now_ns();
        benchmark::DoNotOptimize(now);
        {
            std::lock_guard<std::mutex> lock(record_mutex);
            benchmark::ClobberMemory();
        }
        for (std::size_t k = 0; k < kDelivered; ++k) {
            std::lock_guard<std::mutex> lock(accumulator_mutex);
            benchmark::ClobberMemory();
        }
        i = (i + 1) % kRingReports;
    }
    per_report(state, 1);
}

// The floor's three parts on their own.
void BM_FloorCopy(benchmark::State& state) {
    const auto& ring = report_ring();
    std::uint8_t copy[kImuReportMinLength];
    std::size_t i = 0;
    for (auto _ : state) {
        std::memcpy(copy, ring[i].data(), sizeof copy);
        benchmark::DoNotOptimize(copy);
        i = (i + 1) % kRingReports;
    }
}

void BM_FloorClock(benchmark::State& state) {
    for (auto _ : state) {
        std::int64_t now = steady_now_ns();
        benchmark::DoNotOptimize(now);
    }
}

void BM_FloorLockPair(benchmark::State& state) {
    std::mutex mutex;
    for (auto _ : state) {
        std::lock_guard<std::mutex> lock(mutex);
        benchmark::ClobberMemory();
    }
}

void BM_Decode(benchmark::State& state) {
    const auto& ring = report_ring();
    ImuSample out[kSamplesPerReport];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decode_input_report(ring[i].data(), kImuReportReadLength, out));
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kRingReports;
    }
    per_report(state, 1);
}

// process_report over the ring, each report's samples to `callback`.
void time_process_report(benchmark::State& state, const SampleCallback& callback) {
    const auto& ring = report_ring();
    SequenceFilter filter;
    std::mutex mutex;
    LatestSampleRecord record;
    const ReportSink sink{filter, mutex, record, callback};
    std::size_t i = 0;
    std::size_t delivered = 0;
    for (auto _ : state) {
        delivered += process_report(ring[i].data(), kImuReportReadLength, sink);
        i = (i + 1) % kRingReports;
    }
    if (delivered != kDelivered * static_cast<std::size_t>(state.iterations())) {
        state.SkipWithError("the sequence filter dropped samples");
    }
    per_report(state, 1);
}

// Decoding, the clock, the sequence filter and the latest-sample record
// under the reader's lock; no callback.
void BM_ProcessReport(benchmark::State& state) { time_process_report(state, SampleCallback{}); }

// The console's callback body for one report's samples, integrating.
void BM_OnSampleIntegrating(benchmark::State& state) {
    const auto& ring = report_ring();
    std::vector<ImuSample> samples;
    for (const ReportBytes& r : ring) {
        ImuSample s[kSamplesPerReport];
        decode_input_report(r.data(), r.size(), s);
        samples.insert(samples.end(), s, s + kSamplesPerReport);
    }
    CalAccumulator acc;
    start_integrating(acc);
    std::size_t i = 0;
    for (auto _ : state) {
        for (std::size_t k = 0; k < kDelivered; ++k) on_sample(acc, samples[i + k], 0);
        i = (i + kDelivered) % samples.size();
    }
    benchmark::DoNotOptimize(acc.integral);
    per_report(state, 1);
}

// The reader's whole work per report: process_report with the console's
// callback while a run integrates, as run_program wires it.
void BM_ReaderWork(benchmark::State& state) {
    CalAccumulator acc;
    start_integrating(acc);
    time_process_report(state, [&acc](const ImuSample& s) { on_sample(acc, s, 0); });
    benchmark::DoNotOptimize(acc.integral);
}

}  // namespace

BENCHMARK(BM_Floor)->UseRealTime();
BENCHMARK(BM_FloorCopy)->UseRealTime();
BENCHMARK(BM_FloorClock)->UseRealTime();
BENCHMARK(BM_FloorLockPair)->UseRealTime();
BENCHMARK(BM_Decode)->UseRealTime();
BENCHMARK(BM_ProcessReport)->UseRealTime();
BENCHMARK(BM_OnSampleIntegrating)->UseRealTime();
BENCHMARK(BM_ReaderWork)->UseRealTime();

}  // namespace vesko::bench
