#include "swarm/run_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "calibration/run_result.h"

namespace vesko::swarm {
namespace {

constexpr std::int64_t kNsPerS = 1'000'000'000;

// What axis `axis` feels of the jig's turns (its own, and the others'
// through the coupling): the angle up to `t_ns`, and the rate at it.
struct Felt {
    const simulator::ModuleParams& truth;
    const std::vector<simulator::JigTurn>& turns;
    int axis;

    double weight(int turn_axis) const {
        return turn_axis == axis ? 1.0
                                 : truth.coupling[static_cast<std::size_t>(axis)][static_cast<std::size_t>(turn_axis)];
    }
    double angle(std::int64_t t_ns) const {
        double a = 0;
        for (const auto& t : turns) a += weight(t.axis) * simulator::turn_angle(t, t_ns);
        return a;
    }
    double rate(std::int64_t t_ns) const {
        double r = 0;
        for (const auto& turn : turns) r += weight(turn.axis) * simulator::turn_rate(turn, t_ns);
        return r;
    }
    // The least and the largest rate in [from, to], from its value every
    // millisecond and at both ends (the rate is smooth at that scale).
    std::pair<double, double> rate_range(std::int64_t from, std::int64_t to) const {
        double lo = rate(from), hi = lo;
        for (std::int64_t t = from; t < to;) {
            t = std::min(to, t + kNsPerS / 1000);
            const double r = rate(t);
            lo = std::min(lo, r);
            hi = std::max(hi, r);
        }
        return {lo, hi};
    }
    double peak_rate(std::int64_t from, std::int64_t to) const {
        const auto [lo, hi] = rate_range(from, to);
        return std::max(std::fabs(lo), std::fabs(hi));
    }
};

}  // namespace

std::vector<std::int64_t> sample_times(const std::vector<std::int64_t>& arrived_ns, double rate_hz) {
    const double interval_ns = 1e9 / rate_hz;
    std::vector<std::int64_t> taken(arrived_ns.size());
    for (std::size_t i = 0; i < arrived_ns.size();) {
        std::size_t end = i;
        while (end < arrived_ns.size() && arrived_ns[end] == arrived_ns[i]) ++end;
        for (std::size_t k = i; k < end; ++k)
            taken[k] = arrived_ns[i] - std::llround(static_cast<double>(end - 1 - k) * interval_ns);
        i = end;
    }
    // A burst with samples lost inside it would reach back before the one
    // ahead of it; none is taken before its predecessor.
    for (std::size_t k = 1; k < taken.size(); ++k) taken[k] = std::max(taken[k], taken[k - 1] + 1);
    return taken;
}

RunBound run_bound(const RunWindow& run, const simulator::ModuleParams& truth,
                   const std::vector<simulator::JigTurn>& turns) {
    RunBound b;
    const Felt felt{truth, turns, run.axis};
    const double scale = truth.gyro_scale[static_cast<std::size_t>(run.axis)];
    const double rate_hz = truth.sample_rate_hz;
    // How well a sample's time is known: to one sample interval.
    const auto lag_ns = static_cast<std::int64_t>(std::ceil(1e9 / rate_hz));
    const std::int64_t limit_ns = std::llround(kUnsampledLimitS * 1e9) + lag_ns;

    b.turned_rad = std::fabs(felt.angle(run.finish_ns) - felt.angle(run.arm_ns));
    b.angle_rad = std::fabs(run.typed_deg * kPi / 180.0 - b.turned_rad);

    // Unsampled stretches: from the arming Enter to the first sample, from
    // the last one to the finishing Enter, and between two samples further
    // apart than one interval and a half. An edge is not integrated at all:
    // it counts its length at the jig's fastest rate in it. Between two
    // samples the console weighs the stretch with the rate of the later
    // one: it counts its length times how far the rate moved in it. A
    // stretch longer than the rules let go counts nothing.
    double squares = 0;  // each interval's square: the weight of its sample's noise
    std::vector<std::int64_t> edges;
    edges.push_back(run.arm_ns);
    edges.insert(edges.end(), run.samples_ns.begin(), run.samples_ns.end());
    edges.push_back(run.finish_ns);
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        const std::int64_t from = edges[i], to = std::max(edges[i], edges[i + 1]);
        const double length_s = static_cast<double>(to - from + lag_ns) * 1e-9;
        const bool edge = i == 0 || i + 2 == edges.size();
        if (!edge) squares += static_cast<double>(to - from) * 1e-9 * static_cast<double>(to - from) * 1e-9;
        if ((!edge && (to - from) * 2 <= lag_ns * 3) || to - from > limit_ns) continue;
        if (edge) {
            b.unsampled_rad += length_s * felt.peak_rate(from - lag_ns, to + lag_ns);
        } else {
            const auto [lo, hi] = felt.rate_range(from - lag_ns, to + lag_ns);
            b.unsampled_rad += length_s * (hi - lo);
        }
    }

    // The bias holds the mean rate at the capture's samples; the run
    // integrates it over its length. The motion is what those samples saw
    // when they were taken, which is not always inside the capture: after a
    // reconnect, reports queued on the way arrive with it in one burst.
    const double run_s = static_cast<double>(run.finish_ns - run.arm_ns) * 1e-9;
    if (!run.bias_samples_ns.empty() &&
        felt.angle(run.bias_samples_ns.back() + lag_ns) != felt.angle(run.bias_samples_ns.front() - lag_ns)) {
        double sum = 0;
        for (const std::int64_t t : run.bias_samples_ns) sum += felt.peak_rate(t - lag_ns, t + lag_ns);
        b.bias_motion_rad = sum / static_cast<double>(run.bias_samples_ns.size()) * run_s;
    }

    // White noise and the counts' rounding, over the run's samples and over the bias's.
    const double sd = std::sqrt(truth.gyro_noise_sd * truth.gyro_noise_sd + 1.0 / 12.0);
    const double nb = static_cast<double>(std::max<std::size_t>(run.bias_samples_ns.size(), 1));
    b.noise_rad = kNoiseSigmas * sd * std::sqrt(squares + run_s * run_s / nb) * scale;

    b.rounding = 0.5e-9 / scale;
    const double left = b.turned_rad - b.unsampled_rad - b.noise_rad - b.bias_motion_rad;
    b.fraction = left > 0 ? (b.angle_rad + b.unsampled_rad + b.noise_rad + b.bias_motion_rad) / left + b.rounding
                          : std::numeric_limits<double>::infinity();
    return b;
}

double off_axis_bound(const RunWindow& run, const RunBound& own, const simulator::ModuleParams& truth,
                      const std::vector<simulator::JigTurn>& turns, int other) {
    RunWindow seen_on_other = run;
    seen_on_other.axis = other;
    const RunBound felt = run_bound(seen_on_other, truth, turns);
    if (!(own.turned_rad > 0)) return std::numeric_limits<double>::infinity();
    const double printed_rad = 0.05 * truth.gyro_scale[static_cast<std::size_t>(other)];  // 0.05 LSB*s
    return (felt.noise_rad + felt.bias_motion_rad + felt.unsampled_rad + printed_rad) / own.turned_rad;
}

}  // namespace vesko::swarm
