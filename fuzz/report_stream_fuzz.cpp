// The module's report stream from the read to the console: arbitrary bytes,
// cut into completed reads where the input says, go through process_report
// (decoding, the sequence filter, the latest-sample record) into on_sample,
// while the console's own bias capture and rotation run move the accumulator
// through its phases. A shadow of what on_sample should have done is kept
// beside it and compared after every read.
//
// The input is a series of steps, each starting with one byte:
//   0x00..0x40  a read of that many bytes, taken from the input
//   0x41..0x7f  a read of 52..64 bytes, taken from the input
//   0x80..0xff  by the low three bits:
//     0 a bias capture: its two seconds last until the next byte that ends
//       a window (0, 1 or 3 in the low bits)
//     1 a rotation run (bits 3-4 pick the angle): the reads up to the next
//       window end come while the arming question waits, those up to the
//       one after it are integrated
//     3 the summary is printed (or, inside a window, the window ends)
//     2 the module reconnects (the reader resets its filter)
//     4 a steady stream: the last read of 52 bytes or more played again
//       (next byte) x 4 times, seq +3 and the timestamps moved on by the
//       following two bytes (x 256 ticks) each time, so that inputs of a
//       few kilobytes reach full bias windows and runs
//     5..7 the host clock jumps by the next four bytes, in microseconds
//   Steps 2, 4 and 5..7 act inside a window as well.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "console/bias_capture.h"
#include "console/cal_accumulator.h"
#include "console/printed_summary.h"
#include "console/rotation_run.h"
#include "fuzz_input.h"
#include "imu/input_report.h"
#include "imu/report_processing.h"
#include "platform/clock.h"

namespace {

using namespace vesko;
using vesko::fuzz::InputCursor;

std::int64_t g_host_now_ns = 0;

// Host time as the input moves it; nothing here sleeps or starts a thread.
class InputClock final : public platform::Clock {
public:
    std::int64_t now_ns() override { return g_host_now_ns; }
    void sleep_until(std::int64_t t_ns) override { g_host_now_ns = std::max(g_host_now_ns, t_ns); }
    std::thread launch(std::string, int, std::function<void()>) override { std::abort(); }
    void join(std::thread&) override {}
};
InputClock host_clock;

constexpr double kAngles[] = {90.0, 180.0, 360.0, 45.0};
constexpr double kLongestInterval = 4294967295.0 / kDeviceTicksPerSecond;

// What on_sample should have left in the accumulator, worked out here from
// the delivered samples alone.
struct Shadow {
    long long gyro_sum[3] = {0, 0, 0};
    long long gyro_sum_sq[3] = {0, 0, 0};
    std::uint64_t bias_count = 0;
    std::uint64_t intervals = 0;
    bool have_prev = false;
    std::uint32_t prev_timestamp = 0;
    double max_dt = 0;
    bool gap = false;
};

// The accumulator's figures, to see that an idle phase leaves them alone.
struct Figures {
    double sum[3], sum_sq[3], bias[3], integral[3], max_dt;
    std::uint64_t bias_count, intervals;
    std::uint32_t prev_timestamp;
    bool have_prev, gap;

    explicit Figures(const CalAccumulator& a)
        : sum{a.sum[0], a.sum[1], a.sum[2]},
          sum_sq{a.sum_sq[0], a.sum_sq[1], a.sum_sq[2]},
          bias{a.bias[0], a.bias[1], a.bias[2]},
          integral{a.integral[0], a.integral[1], a.integral[2]},
          max_dt(a.max_dt),
          bias_count(a.bias_count),
          intervals(a.interval_count),
          prev_timestamp(a.prev_timestamp),
          have_prev(a.have_prev),
          gap(a.gap) {}

    bool operator==(const Figures&) const = default;
};

bool same_sample(const ImuSample& a, const ImuSample& b) {
    for (int i = 0; i < 3; ++i) {
        if (a.accel[i] != b.accel[i] || a.gyro[i] != b.gyro[i]) return false;
    }
    return a.timestamp == b.timestamp && a.seq == b.seq;
}

bool same(double a, double b) { return a == b || std::fabs(a - b) <= 1e-9 * std::fmax(std::fabs(a), std::fabs(b)); }

class StreamRig {
public:
    explicit StreamRig(InputCursor& in) : in_(in) {
        callback_ = [this](const ImuSample& s) { deliver(s); };
    }

    void run() {
        while (!in_.done()) {
            const std::uint8_t step = in_.byte();
            if (read_or_stream_step(step)) continue;
            switch (step & 0x07) {
                case 0: bias_capture(); break;
                case 1: rotation_run(kAngles[(step >> 3) & 0x03]); break;
                default: print_summary(runs_, fuzz::null_stream()); break;
            }
        }
    }

private:
    // A read, a reconnect, a steady stream or a clock jump: done here, true.
    // Anything else is the caller's (false).
    bool read_or_stream_step(std::uint8_t step) {
        if (step < 0x80) {
            const std::size_t length = step <= 0x40 ? step : 52 + (step - 0x41) % 13;
            const std::string_view bytes = in_.bytes(length);
            read(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            return true;
        }
        switch (step & 0x07) {
            case 2:
                filter_.reset();
                have_accepted_ = false;
                return true;
            case 4: steady_stream(); return true;
            case 5:
            case 6:
            case 7: g_host_now_ns += static_cast<std::int64_t>(in_.u32()) * 1000; return true;
            default: return false;
        }
    }

    // The stream goes on until a byte ends the window (or the input ends).
    void window() {
        while (!in_.done()) {
            if (!read_or_stream_step(in_.byte())) return;
        }
    }

    void bias_capture() {
        ConsoleIo io;
        io.streams = {fuzz::null_stream(), fuzz::null_stream()};
        io.read_char = [] { return EOF; };
        io.sleep = [this](std::chrono::milliseconds) {
            {
                std::lock_guard<std::mutex> lock(acc_.mutex);
                FUZZ_CHECK(acc_.phase == Bias && acc_.bias_count == 0);
            }
            shadow_ = Shadow{};
            window();
        };
        const std::optional<std::array<double, 3>> mean = capture_bias(acc_, io);
        std::lock_guard<std::mutex> lock(acc_.mutex);
        FUZZ_CHECK(acc_.phase == Idle);
        FUZZ_CHECK(mean.has_value() == (shadow_.bias_count >= kMinBiasSamples));
        if (mean) {
            for (int i = 0; i < 3; ++i) {
                FUZZ_CHECK(same((*mean)[i],
                                static_cast<double>(shadow_.gyro_sum[i]) / static_cast<double>(shadow_.bias_count)));
                FUZZ_CHECK((*mean)[i] >= -32768.0 && (*mean)[i] <= 32767.0);
            }
            bias_ = *mean;
        }
        const BiasFigures f = bias_figures(acc_.sum, acc_.sum_sq, acc_.bias_count);
        FUZZ_CHECK(f.count == shadow_.bias_count);
    }

    void rotation_run(double angle) {
        ConsoleIo io;
        io.streams = {fuzz::null_stream(), fuzz::null_stream()};
        io.sleep = [](std::chrono::milliseconds) {};
        int line = 0;
        // Each of the two answers is one line: the window of reads while the
        // question waits, then Enter.
        io.read_char = [this, &line]() -> int {
            {
                std::lock_guard<std::mutex> lock(acc_.mutex);
                if (line == 0) {
                    FUZZ_CHECK(acc_.phase == Idle);
                } else {
                    FUZZ_CHECK(acc_.phase == Integrate);
                    FUZZ_CHECK(acc_.interval_count == 0 && !acc_.have_prev && !acc_.gap && acc_.max_dt == 0);
                }
            }
            if (line == 1) shadow_ = Shadow{};
            ++line;
            window();
            return '\n';
        };
        const std::size_t before = runs_.size();
        run_rotation(acc_, angle, bias_, runs_, io);
        FUZZ_CHECK(line == 2);

        std::lock_guard<std::mutex> lock(acc_.mutex);
        FUZZ_CHECK(acc_.phase == Idle);
        FUZZ_CHECK(runs_.size() <= before + 1);
        const bool accepted = runs_.size() == before + 1;
        const std::array<double, 3> integral{acc_.integral[0], acc_.integral[1], acc_.integral[2]};
        const int dominant = dominant_axis(integral);
        FUZZ_CHECK(accepted == (!shadow_.gap && shadow_.intervals >= kMinRunIntervals &&
                                std::fabs(integral[dominant]) >= kMinDominantIntegral));
        if (accepted) {
            const RunResult& r = runs_.back();
            FUZZ_CHECK(r.axis == dominant);
            FUZZ_CHECK(r.angle_deg == angle);
            FUZZ_CHECK(std::isfinite(r.scale) && r.scale > 0);
            FUZZ_CHECK(r.leakage >= 0 && r.leakage <= 1);
        }
    }

    void steady_stream() {
        const std::size_t count = static_cast<std::size_t>(in_.byte()) * 4;
        const std::uint32_t step_ticks = static_cast<std::uint32_t>(in_.u16()) * 256;
        if (last_report_.size() < kImuReportMinLength) return;
        std::vector<std::uint8_t> report = last_report_;
        for (std::size_t n = 0; n < count; ++n) {
            for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
                std::uint8_t* slot = report.data() + 1 + kSampleSlotSize * k;
                std::uint32_t ts = static_cast<std::uint32_t>(slot[12]) | (static_cast<std::uint32_t>(slot[13]) << 8) |
                                   (static_cast<std::uint32_t>(slot[14]) << 16) |
                                   (static_cast<std::uint32_t>(slot[15]) << 24);
                ts += step_ticks;
                for (int b = 0; b < 4; ++b) slot[12 + b] = static_cast<std::uint8_t>(ts >> (8 * b));
                slot[16] = static_cast<std::uint8_t>(slot[16] + 3);
            }
            read(report.data(), report.size());
        }
    }

    // One completed read, in a buffer of exactly its length so that a look
    // past its end is caught.
    void read(const std::uint8_t* bytes, std::size_t length) {
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[length]);
        if (length > 0) std::memcpy(buffer.get(), bytes, length);
        if (length >= kImuReportMinLength) last_report_.assign(bytes, bytes + length);
        g_host_now_ns += 1'000'000;

        // Decoding alone: exactly the 0x20 reports of 52 bytes or more, each
        // slot read back as it was written.
        const bool well_formed = length >= kImuReportMinLength && bytes[0] == kImuReportId;
        ImuSample decoded[kSamplesPerReport];
        std::memset(static_cast<void*>(decoded), 0xA5, sizeof decoded);
        const bool ok = decode_input_report(buffer.get(), length, decoded);
        FUZZ_CHECK(ok == well_formed);
        if (ok) {
            for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
                std::uint8_t slot[kSampleSlotSize];
                encode_sample_slot(decoded[k], slot);
                FUZZ_CHECK(std::memcmp(slot, bytes + 1 + kSampleSlotSize * k, kSampleSlotSize) == 0);
            }
        } else {
            for (const ImuSample& s : decoded) FUZZ_CHECK(s.seq == 0xA5 && s.timestamp == 0xA5A5A5A5u);
        }

        // The reader's step: filter, record, callback.
        const LatestSampleRecord record_before = record_;
        std::optional<Figures> idle_figures;
        {
            std::lock_guard<std::mutex> lock(acc_.mutex);
            if (acc_.phase == Idle) idle_figures.emplace(acc_);
        }
        delivered_.clear();
        const ReportSink sink{filter_, record_mutex_, record_, callback_, host_clock};
        const std::size_t count = process_report(buffer.get(), length, sink);
        FUZZ_CHECK(count <= kSamplesPerReport);
        FUZZ_CHECK(count == delivered_.size());
        if (!well_formed) FUZZ_CHECK(count == 0);
        if (count == 0) {
            FUZZ_CHECK(record_.has_latest == record_before.has_latest);
            FUZZ_CHECK(record_.latest_host_ns == record_before.latest_host_ns);
            FUZZ_CHECK(same_sample(record_.latest, record_before.latest));
        } else {
            FUZZ_CHECK(record_.has_latest && record_.latest_host_ns == g_host_now_ns);
            FUZZ_CHECK(same_sample(record_.latest, delivered_.back()));
            // Delivered in slot order, each one of the report's slots.
            std::size_t slot = 0;
            for (const ImuSample& s : delivered_) {
                while (slot < kSamplesPerReport && !same_sample(decoded[slot], s)) ++slot;
                FUZZ_CHECK(slot < kSamplesPerReport);
                ++slot;
            }
        }
        compare_with_shadow(idle_figures);
    }

    // The sample callback: the order rule of the filter, then on_sample.
    void deliver(const ImuSample& s) {
        if (have_accepted_) {
            const auto ahead = static_cast<std::uint8_t>(s.seq - last_accepted_.seq);
            FUZZ_CHECK(ahead < 128);
            FUZZ_CHECK(ahead != 0 || s.timestamp != last_accepted_.timestamp);
        }
        have_accepted_ = true;
        last_accepted_ = s;
        delivered_.push_back(s);

        CapturePhase phase;
        {
            std::lock_guard<std::mutex> lock(acc_.mutex);
            phase = acc_.phase;
        }
        if (phase == Bias) {
            for (int i = 0; i < 3; ++i) {
                shadow_.gyro_sum[i] += s.gyro[i];
                shadow_.gyro_sum_sq[i] += static_cast<long long>(s.gyro[i]) * s.gyro[i];
            }
            ++shadow_.bias_count;
        } else if (phase == Integrate) {
            if (shadow_.have_prev) {
                const double dt = static_cast<double>(s.timestamp - shadow_.prev_timestamp) / kDeviceTicksPerSecond;
                shadow_.max_dt = std::fmax(shadow_.max_dt, dt);
                shadow_.gap = shadow_.gap || dt > kGapLimitSeconds;
                ++shadow_.intervals;
            }
            shadow_.have_prev = true;
            shadow_.prev_timestamp = s.timestamp;
        }
        on_sample(acc_, s, 0);
    }

    void compare_with_shadow(const std::optional<Figures>& idle_figures) {
        std::lock_guard<std::mutex> lock(acc_.mutex);
        if (acc_.phase == Bias) {
            FUZZ_CHECK(acc_.bias_count == shadow_.bias_count);
            for (int i = 0; i < 3; ++i) {
                FUZZ_CHECK(acc_.sum[i] == static_cast<double>(shadow_.gyro_sum[i]));
                FUZZ_CHECK(acc_.sum_sq[i] == static_cast<double>(shadow_.gyro_sum_sq[i]));
            }
        } else if (acc_.phase == Integrate) {
            FUZZ_CHECK(acc_.interval_count == shadow_.intervals);
            FUZZ_CHECK(acc_.have_prev == shadow_.have_prev);
            FUZZ_CHECK(!acc_.have_prev || acc_.prev_timestamp == shadow_.prev_timestamp);
            FUZZ_CHECK(acc_.max_dt == shadow_.max_dt && acc_.max_dt <= kLongestInterval);
            FUZZ_CHECK(acc_.gap == shadow_.gap);
            const double bound = static_cast<double>(acc_.interval_count) * 65535.0 * kLongestInterval;
            for (int i = 0; i < 3; ++i)
                FUZZ_CHECK(std::isfinite(acc_.integral[i]) && std::fabs(acc_.integral[i]) <= bound);
        } else {
            // Idle: whatever arrives is dropped; the figures of the last
            // window stay as they were.
            FUZZ_CHECK(acc_.phase == Idle && idle_figures && *idle_figures == Figures(acc_));
        }
    }

    InputCursor& in_;

    SequenceFilter filter_;
    std::mutex record_mutex_;
    LatestSampleRecord record_;
    SampleCallback callback_;
    CalAccumulator acc_;
    std::array<double, 3> bias_{};
    std::vector<RunResult> runs_;

    std::vector<std::uint8_t> last_report_;
    std::vector<ImuSample> delivered_;
    bool have_accepted_ = false;
    ImuSample last_accepted_{};
    Shadow shadow_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    g_host_now_ns = 0;
    InputCursor in(data, size);
    StreamRig rig(in);
    rig.run();
    return 0;
}
