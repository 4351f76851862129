// rotabench-bench's entry: Google Benchmark's own flags, then a summary of
// where the time goes, from the medians of the runs. Exits 1 when a
// benchmark stopped with an error; never judges a figure.
//
// A second thread is started and parked before anything is measured. glibc
// takes cheaper paths while a process has a single thread, and the reader
// never runs in one: without it every lock pair, the floor's included,
// would look cheaper than it is in the product.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class ParkedThread {
public:
    ParkedThread()
        : thread_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              released_cv_.wait(lock, [this] { return released_; });
          }) {}
    ~ParkedThread() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        released_cv_.notify_one();
        thread_.join();
    }
    ParkedThread(const ParkedThread&) = delete;
    ParkedThread& operator=(const ParkedThread&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable released_cv_;
    bool released_ = false;
    std::thread thread_;  // last: starts once the rest is built
};

// What one run says, in seconds: per report, per session, or per iteration
// for the floor's parts.
double seconds_of(const benchmark::BenchmarkReporter::Run& run) {
    for (const char* name : {"per_report", "per_session"}) {
        const auto it = run.counters.find(name);
        if (it != run.counters.end()) return it->second.value;
    }
    return run.iterations > 0 ? run.real_accumulated_time / static_cast<double>(run.iterations)
                              : run.real_accumulated_time;
}

// The console's table as usual; each run's figure kept for the summary.
class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    explicit SummaryReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                ++errors_;
                continue;
            }
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration) {
                figures_[name].push_back(seconds_of(run));
            } else if (run.aggregate_name == "median") {
                medians_[name] = seconds_of(run);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    struct Figure {
        double median = 0;
        double low = 0;   // the fastest run
        double high = 0;  // the slowest run
        std::size_t runs = 0;
    };

    // The median over the runs (the library's median when only aggregates
    // were reported); nothing when the benchmark did not run.
    bool figure(const std::string& name, Figure& out) const {
        const auto it = figures_.find(name);
        if (it != figures_.end() && !it->second.empty()) {
            std::vector<double> v = it->second;
            std::sort(v.begin(), v.end());
            const std::size_t n = v.size();
            out.median = n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
            out.low = v.front();
            out.high = v.back();
            out.runs = n;
            return true;
        }
        const auto m = medians_.find(name);
        if (m == medians_.end()) return false;
        out = Figure{m->second, m->second, m->second, 0};
        return true;
    }

    // Runs that stopped with an error (a reader that did not start, samples
    // lost, a session that did not end cleanly).
    int errors() const { return errors_; }

private:
    int errors_ = 0;
    std::map<std::string, std::vector<double>> figures_;
    std::map<std::string, double> medians_;
};

// Spread of the runs around their median, in percent: "-1.2/+3.4%".
std::string spread(const SummaryReporter::Figure& f) {
    if (f.runs < 2 || f.median <= 0) return "";
    char text[64];
    std::snprintf(text, sizeof text, "  (%zu runs, %+.1f/%+.1f%%)", f.runs, 100 * (f.low / f.median - 1),
                  100 * (f.high / f.median - 1));
    return text;
}

void print_summary(const SummaryReporter& r) {
    using Figure = SummaryReporter::Figure;
    Figure floor, copy, clock, lock, decode, process, on_sample, work, loop, session;
    const bool have_floor = r.figure("BM_Floor", floor);
    std::printf("\nwhere the time goes, per input report of 3 samples (medians):\n");
    if (have_floor) {
        std::printf("  floor: 52-byte copy, one clock reading, 1 + 3 lock pairs  %8.1f ns%s\n", floor.median * 1e9,
                    spread(floor).c_str());
    }
    if (r.figure("BM_FloorCopy", copy) && r.figure("BM_FloorClock", clock) && r.figure("BM_FloorLockPair", lock)) {
        std::printf("    its parts: copy %.1f ns, clock %.1f ns, lock pair %.1f ns (x4 = %.1f ns)\n", copy.median * 1e9,
                    clock.median * 1e9, lock.median * 1e9, 4 * lock.median * 1e9);
    }
    const auto row = [&](const char* what, const Figure& f) {
        std::printf("  %-57s %8.1f ns", what, f.median * 1e9);
        if (have_floor) std::printf("  %5.2f x floor", f.median / floor.median);
        std::printf("%s\n", spread(f).c_str());
    };
    if (r.figure("BM_Decode", decode)) row("decode", decode);
    if (r.figure("BM_ProcessReport", process)) row("process_report: decode, clock, filter, record", process);
    if (r.figure("BM_OnSampleIntegrating", on_sample)) row("on_sample x3, integrating", on_sample);
    const bool have_work = r.figure("BM_ReaderWork", work);
    if (have_work) row("reader's work: process_report + on_sample x3", work);
    if (r.figure("BM_ReadLoopSimBus", loop)) {
        row("whole read loop over the simulated bus", loop);
        if (have_work) {
            std::printf("    the loop around the work (bus, event, hand-over lock): %.1f ns, %.2f x the work\n",
                        (loop.median - work.median) * 1e9, loop.median / work.median);
        }
    }
    if (have_work) {
        // The module sends 1000 samples a second, 3 to a report.
        const double reports_per_second = 1000.0 / 3.0;
        std::printf("  the reader's work at %.0f reports/s: %.4f%% of one core\n", reports_per_second,
                    100 * work.median * reports_per_second);
    }
    if (r.figure("BM_DefaultSessionVirtualTime", session)) {
        std::printf("  default session in virtual time                            %8.1f ms per session%s\n",
                    session.median * 1e3, spread(session).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    ParkedThread parked;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter(isatty(STDOUT_FILENO) != 0 ? benchmark::ConsoleReporter::OO_ColorTabular
                                                        : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    print_summary(reporter);
    benchmark::Shutdown();
    if (reporter.errors() > 0) {
        std::fprintf(stderr, "rotabench-bench: %d run(s) stopped with an error\n", reporter.errors());
        return 1;
    }
    return 0;
}
