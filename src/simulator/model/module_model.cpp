#include "simulator/model/module_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imu/input_report.h"
#include "simulator/model/sensor_counts.h"
#include "simulator/overloaded.h"

namespace vesko::simulator {
namespace {

constexpr std::size_t kReportBytes = 64;

}  // namespace

ModuleModel::ModuleModel(const ModuleParams& params, std::int64_t power_on_ns)
    : params_(params), noise_(params.noise_seed) {
    power_on(power_on_ns);
}

std::int64_t ModuleModel::sample_time(std::int64_t index) const {
    return epoch_ns_ + std::llround(static_cast<double>(index) * 1e9 / params_.sample_rate_hz);
}

std::int64_t ModuleModel::report_due(std::int64_t report) const {
    return sample_time(report * static_cast<std::int64_t>(kSamplesPerReport) + 2);
}

std::int64_t ModuleModel::first_report_due_from(std::int64_t t_ns) const {
    const double samples = static_cast<double>(t_ns - epoch_ns_) * params_.sample_rate_hz / 1e9;
    std::int64_t k = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor((samples - 2.0) / 3.0)));
    while (report_due(k) < t_ns) ++k;
    while (k > 0 && report_due(k - 1) >= t_ns) --k;
    return k;
}

void ModuleModel::apply(const StreamFault& fault) {
    std::visit(Overloaded{
                   // Takes effect from the report being settled, whose due
                   // time is at or after the fault's moment.
                   [this](const Silence& f) {
                       silent_until_ns_ = std::max(silent_until_ns_, report_due(next_report_) + f.duration_ns);
                   },
                   [this](const ShortReports& f) {
                       short_left_ += f.count;
                       short_length_ = f.length;
                   },
                   [this](const ForeignReports& f) {
                       foreign_left_ += f.count;
                       foreign_id_ = f.report_id;
                   },
                   [this](const RepeatedReports& f) { repeat_left_ += f.count; },
                   [this](const SwappedReports& f) { swap_left_ += f.count; },
                   [this](const SeqRestart& f) { seq_ = f.value; },
                   [this](const TimestampLeap& f) { clock_leap_ += f.ticks; },
               },
               fault);
}

void ModuleModel::settle_schedule() {
    for (;;) {
        const std::int64_t due = report_due(next_report_);
        while (!faults_.empty() && faults_.front().at_ns <= due) {
            const StreamFault fault = faults_.front().fault;
            faults_.erase(faults_.begin());
            apply(fault);
        }
        if (due >= silent_until_ns_) return;
        next_report_ = first_report_due_from(silent_until_ns_);
    }
}

ModuleModel::Report ModuleModel::build_report(std::int64_t report) {
    Report r;
    r.due_ns = report_due(report);
    r.length = kReportBytes;
    r.bytes[0] = kImuReportId;
    for (std::size_t slot = 0; slot < kSamplesPerReport; ++slot) {
        const std::int64_t t =
            sample_time(report * static_cast<std::int64_t>(kSamplesPerReport) + static_cast<std::int64_t>(slot));
        const JigState jig = jig_.state_at(t);
        const Vec3 gyro_noise = {noise_.next() * params_.gyro_noise_sd, noise_.next() * params_.gyro_noise_sd,
                                 noise_.next() * params_.gyro_noise_sd};
        const Vec3 accel_noise = {noise_.next() * params_.accel_noise_sd, noise_.next() * params_.accel_noise_sd,
                                  noise_.next() * params_.accel_noise_sd};
        ImuSample s;
        gyro_counts(params_, jig.rate, gyro_noise, s.gyro);
        accel_counts(params_, jig.orientation, accel_noise, s.accel);
        // 48 MHz: 6 ticks per 125 ns.
        const auto ticks = static_cast<std::uint64_t>((t - epoch_ns_) * 6 / 125);
        s.timestamp = static_cast<std::uint32_t>(params_.first_timestamp + ticks + clock_leap_);
        s.seq = seq_++;
        encode_sample_slot(s, r.bytes.data() + 1 + kSampleSlotSize * slot);
        last_sampled_ns_ = std::max(last_sampled_ns_, t);
    }
    return r;
}

void ModuleModel::emit_next(std::int64_t now_ns) {
    settle_schedule();
    // Reports the reader left waiting too long are gone; the module counted them.
    while (report_due(next_report_ + params_.backlog_reports) <= now_ns) {
        seq_ = static_cast<std::uint8_t>(seq_ + kSamplesPerReport);
        last_sampled_ns_ = std::max(last_sampled_ns_, report_due(next_report_));
        ++next_report_;
        settle_schedule();
    }
    Report first = build_report(next_report_++);
    if (short_left_ > 0) {
        --short_left_;
        first.length = std::min(short_length_, kReportBytes);
    }
    if (swap_left_ > 0) {
        --swap_left_;
        Report second = build_report(next_report_++);
        first.due_ns = second.due_ns;
        outbox_.push_back(second);
        outbox_.push_back(first);
    } else {
        outbox_.push_back(first);
        if (repeat_left_ > 0) {
            --repeat_left_;
            outbox_.push_back(first);
        }
    }
    if (foreign_left_ > 0) {
        --foreign_left_;
        Report other;
        other.due_ns = outbox_.back().due_ns;
        other.length = kReportBytes;
        other.bytes.fill(0x5A);
        other.bytes[0] = foreign_id_;
        outbox_.push_back(other);
    }
}

std::optional<std::int64_t> ModuleModel::next_report_time() {
    std::lock_guard lock(mutex_);
    if (!powered_) return std::nullopt;
    if (!outbox_.empty()) return outbox_.front().due_ns;
    settle_schedule();
    return report_due(next_report_);
}

std::size_t ModuleModel::take_report(std::int64_t now_ns, std::uint8_t* buffer, std::size_t capacity) {
    std::lock_guard lock(mutex_);
    if (!powered_) return 0;
    if (outbox_.empty()) emit_next(now_ns);
    const Report r = outbox_.front();
    outbox_.pop_front();
    const std::size_t n = std::min(r.length, capacity);
    std::memcpy(buffer, r.bytes.data(), n);
    return n;
}

JigTurn ModuleModel::turn(int axis, double angle_deg, std::int64_t duration_ns, std::int64_t at_ns) {
    std::lock_guard lock(mutex_);
    JigTurn wanted;
    wanted.axis = std::clamp(axis, 0, 2);
    wanted.angle_rad = angle_deg * std::numbers::pi / 180.0;
    wanted.start_ns = at_ns;
    wanted.duration_ns = duration_ns;
    return jig_.add_turn(wanted, last_sampled_ns_ + 1);
}

std::int64_t ModuleModel::next_sample_time(std::int64_t t_ns) {
    std::lock_guard lock(mutex_);
    const double samples = static_cast<double>(t_ns - epoch_ns_) * params_.sample_rate_hz / 1e9;
    std::int64_t k = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(samples)));
    while (sample_time(k) < t_ns) ++k;
    while (k > 0 && sample_time(k - 1) >= t_ns) --k;
    return sample_time(k);
}

void ModuleModel::inject(const StreamFault& fault, std::int64_t at_ns) {
    std::lock_guard lock(mutex_);
    auto pos = std::upper_bound(faults_.begin(), faults_.end(), at_ns,
                                [](std::int64_t t, const PendingFault& p) { return t < p.at_ns; });
    faults_.insert(pos, PendingFault{at_ns, fault});
}

void ModuleModel::power_off() {
    std::lock_guard lock(mutex_);
    powered_ = false;
    outbox_.clear();
}

void ModuleModel::power_on(std::int64_t at_ns) {
    std::lock_guard lock(mutex_);
    powered_ = true;
    epoch_ns_ = at_ns;
    next_report_ = 0;
    last_sampled_ns_ = std::max(last_sampled_ns_, at_ns - 1);
    seq_ = params_.first_seq;
    clock_leap_ = 0;
    silent_until_ns_ = 0;
    short_left_ = foreign_left_ = repeat_left_ = swap_left_ = 0;
    outbox_.clear();
}

}  // namespace vesko::simulator
