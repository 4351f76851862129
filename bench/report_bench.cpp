// The reader thread's work for one input report, piece by piece, and the
// floor it is measured against: what any reader of this report must pay at
// the least (take the 52 bytes, read the clock once, and the lock pairs of
// the two records the samples land in). Last, rotabench-report reading a
// log as large as it takes.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "console/cal_accumulator.h"
#include "console/console_texts.h"
#include "console/printed_summary.h"
#include "imu/input_report.h"
#include "imu/report_processing.h"
#include "imu/sequence_filter.h"
#include "platform/clock.h"
#include "report/report_main.h"
#include "report_ring.h"
#include "text/printf_text.h"

namespace vesko::bench {
namespace {

// Every report of the ring carries this many samples and the filter accepts
// each of them, so the callback runs this often per report; the floor takes
// as many accumulator lock pairs.
constexpr std::size_t kDelivered = kSamplesPerReport;

// Seconds per report, shown next to the time per iteration.
void per_report(benchmark::State& state, double reports_per_iteration) {
    state.counters["per_report"] =
        benchmark::Counter(reports_per_iteration,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
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
        std::int64_t now = platform::monotonic_clock().now_ns();
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
        std::int64_t now = platform::monotonic_clock().now_ns();
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
    const ReportSink sink{filter, mutex, record, callback, platform::monotonic_clock()};
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

// A session's log just under the report's 64 MiB cap: runs about the three
// axes in turn (their dominant-axis and scale lines, as the console prints
// them, one in a thousand a wrong turn), then the console's summary of them.
struct CapLog {
    std::string text;
    std::size_t runs = 0;
};

const CapLog& log_at_the_cap() {
    static const CapLog log = [] {
        std::string text = printf_text(texts::kStreaming, "KVR-21A7C3");
        std::vector<RunResult> runs;
        const std::size_t cap = (64u << 20) - 4096;
        for (unsigned i = 0; text.size() < cap; ++i) {
            const int axis = static_cast<int>(i % 3);
            const double wobble = static_cast<double>((i * 2654435761u) % 2001) - 1000;
            const double printed =
                std::atof(printf_text("%.9f", (i % 1000 == 999 ? 0.5 : 1.0) * (1 + wobble * 1e-6) / 1024).c_str());
            text += printf_text(texts::kRunDominant, "XYZ"[axis], i % 2 ? '-' : '+', 0.3);
            text += printf_text(texts::kRunScale, printed, vs_1024_pct(printed), vs_0001_pct(printed));
            runs.push_back(RunResult{axis, 180, printed, 0.003, {}});
        }
        text += printf_text(texts::kSummaryHead, runs.size());
        const AxisSummaries axes = summarize_axes(runs);
        for (int a = 0; a < 3; ++a) text += summary_axis_line(a, axes[static_cast<std::size_t>(a)]) + "\n";
        return CapLog{text + texts::kSummaryGate, runs.size()};
    }();
    return log;
}

// The whole report of that log, as text, from reading it to its last line.
void BM_ReportLogAtTheCap(benchmark::State& state) {
    std::string log = log_at_the_cap().text;
    std::FILE* out = std::fopen("/dev/null", "w");
    int code = 0;
    for (auto _ : state) {
        std::FILE* in = fmemopen(log.data(), log.size(), "rb");
        const char* argv[] = {"rotabench-report", "-"};
        code = report::report_main(2, argv, in, out, out);
        std::fclose(in);
    }
    std::fclose(out);
    if (code != report::kExitPass) state.SkipWithError("the report did not read the log through");
    state.counters["runs"] = static_cast<double>(log_at_the_cap().runs);
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
BENCHMARK(BM_ReportLogAtTheCap)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace vesko::bench
