#include "simulator/model/jig.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vesko::simulator {
namespace {

// Fraction of the turn's duration elapsed at t, within [0, 1].
double progress(const JigTurn& turn, std::int64_t t_ns) {
    if (t_ns <= turn.start_ns) return 0.0;
    if (t_ns >= turn.start_ns + turn.duration_ns) return 1.0;
    return static_cast<double>(t_ns - turn.start_ns) / static_cast<double>(turn.duration_ns);
}

}  // namespace

double turn_rate(const JigTurn& turn, std::int64_t t_ns) {
    const double u = progress(turn, t_ns);
    if (u <= 0.0 || u >= 1.0) return 0.0;
    const double seconds = static_cast<double>(turn.duration_ns) * 1e-9;
    return turn.angle_rad / seconds * (1.0 - std::cos(2.0 * std::numbers::pi * u));
}

double turn_angle(const JigTurn& turn, std::int64_t t_ns) {
    const double u = progress(turn, t_ns);
    if (u >= 1.0) return turn.angle_rad;
    return turn.angle_rad * (u - std::sin(2.0 * std::numbers::pi * u) / (2.0 * std::numbers::pi));
}

JigTurn Jig::add_turn(JigTurn requested, std::int64_t not_before_ns) {
    std::int64_t start = std::max(requested.start_ns, not_before_ns);
    if (!turns_.empty()) {
        const JigTurn& last = turns_.back();
        start = std::max(start, last.start_ns + last.duration_ns);
    }
    requested.start_ns = start;
    requested.duration_ns = std::max<std::int64_t>(requested.duration_ns, 1);
    turns_.push_back(requested);
    return requested;
}

std::int64_t Jig::idle_from(std::int64_t now_ns) const {
    if (turns_.empty()) return now_ns;
    const JigTurn& last = turns_.back();
    return std::max(now_ns, last.start_ns + last.duration_ns);
}

JigState Jig::state_at(std::int64_t t_ns) {
    while (!turns_.empty() && t_ns >= turns_.front().start_ns + turns_.front().duration_ns) {
        const JigTurn& done = turns_.front();
        settled_ = multiply(settled_, axis_rotation(done.axis, done.angle_rad));
        turns_.pop_front();
    }
    JigState state;
    state.orientation = settled_;
    if (!turns_.empty() && t_ns > turns_.front().start_ns) {
        const JigTurn& turn = turns_.front();
        state.rate[turn.axis] = turn_rate(turn, t_ns);
        state.orientation = multiply(settled_, axis_rotation(turn.axis, turn_angle(turn, t_ns)));
    }
    return state;
}

}  // namespace vesko::simulator
