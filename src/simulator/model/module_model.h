#pragma once

// ModuleModel: a tracking module on the jig, playing its input reports from the physics.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/sim/report_source.h"
#include "simulator/model/gaussian_noise.h"
#include "simulator/model/jig.h"
#include "simulator/model/module_fault.h"
#include "simulator/model/module_params.h"

namespace vesko::simulator {

// A tracking module mounted on the rotation jig, playing its input reports:
// samples at `sample_rate_hz` on its own schedule, three per report (ID 0x20),
// each computed at its own sample time from the jig's motion, the true
// scales, bias, coupling and seeded noise. Reports are due when their last
// sample is taken; a reader that falls behind finds at most 32 waiting, the
// older ones are gone (seq shows the loss).
//
// Thread-safe: the bus's reading thread takes reports while the operator
// turns the jig and injects faults from another thread.
class ModuleModel final : public platform::sim::ReportSource {
public:
    // The module powers up at bus time `power_on_ns`.
    ModuleModel(const ModuleParams& params, std::int64_t power_on_ns);

    std::optional<std::int64_t> next_report_time() override;
    std::size_t take_report(std::int64_t now_ns, std::uint8_t* buffer, std::size_t capacity) override;

    // Turns the jig by `angle_deg` about module axis `axis` over `duration_ns`,
    // starting at `at_ns` or, if later, when the turns queued before it end.
    // Returns the turn as scheduled (its end is when the jig is still again).
    JigTurn turn(int axis, double angle_deg, std::int64_t duration_ns, std::int64_t at_ns);

    // The first of the module's sample times at or after `t_ns`. A turn
    // started there is sampled the same way whenever it was asked for.
    std::int64_t next_sample_time(std::int64_t t_ns);

    // Queues a fault of the report stream, effective from `at_ns`.
    void inject(const StreamFault& fault, std::int64_t at_ns);

    // Power: while off the module schedules nothing; powering on starts its
    // clock, seq and report schedule over, as after a real replug.
    void power_off();
    void power_on(std::int64_t at_ns);

    const ModuleParams& params() const { return params_; }

private:
    struct Report {
        std::int64_t due_ns = 0;
        std::size_t length = 0;
        std::array<std::uint8_t, 64> bytes{};
    };
    struct PendingFault {
        std::int64_t at_ns = 0;
        StreamFault fault;
    };

    std::int64_t sample_time(std::int64_t index) const;
    std::int64_t report_due(std::int64_t report) const;
    std::int64_t first_report_due_from(std::int64_t t_ns) const;
    void settle_schedule();
    void apply(const StreamFault& fault);
    Report build_report(std::int64_t report);
    void emit_next(std::int64_t now_ns);

    const ModuleParams params_;
    std::mutex mutex_;
    // Everything below is guarded by mutex_.
    GaussianNoise noise_;
    Jig jig_;
    bool powered_ = true;
    std::int64_t epoch_ns_ = 0;         // power-on time: sample 0
    std::int64_t next_report_ = 0;      // index of the next report to build
    std::int64_t last_sampled_ns_ = 0;  // time of the latest sample computed
    std::uint8_t seq_ = 0;
    std::uint32_t clock_leap_ = 0;  // ticks added by clock leaps
    std::int64_t silent_until_ns_ = 0;
    std::vector<PendingFault> faults_;  // sorted by time
    int short_left_ = 0;
    std::size_t short_length_ = 0;
    int foreign_left_ = 0;
    std::uint8_t foreign_id_ = 0;
    int repeat_left_ = 0;
    int swap_left_ = 0;
    std::deque<Report> outbox_;  // built, waiting to be taken
};

}  // namespace vesko::simulator
