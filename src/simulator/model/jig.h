#pragma once

// The rotation jig: turns with a raised-cosine rate profile, and the module's rate and orientation
// at any instant.

#include <cstdint>
#include <deque>

#include "simulator/model/rotation.h"

namespace vesko::simulator {

// One turn of the rotation jig about one of the module's axes: the rate
// follows a raised cosine, rising from rest and falling back to rest, so the
// turn is smooth at both ends and its rate integrates to `angle_rad` exactly.
struct JigTurn {
    int axis = 0;                  // 0, 1, 2 = X, Y, Z of the module
    double angle_rad = 0.0;        // signed
    std::int64_t start_ns = 0;     // bus time
    std::int64_t duration_ns = 0;  // > 0
};

// Rate (rad/s) and angle turned so far (rad) of one turn at bus time t:
// 0 before the start, the full angle after the end.
double turn_rate(const JigTurn& turn, std::int64_t t_ns);
double turn_angle(const JigTurn& turn, std::int64_t t_ns);

// What the module feels at one instant: its angular rate in its own frame
// (rad/s) and its orientation (module frame to jig frame).
struct JigState {
    Vec3 rate{};
    Mat3 orientation = kIdentity3;
};

// The jig: a queue of turns done one after the other. Asked for its state at
// non-decreasing times (the module's sample times). Not thread-safe; the
// module model guards it.
class Jig {
public:
    // Queues a turn; it starts no earlier than requested, than the end of the
    // queued turns and than `not_before_ns` (the latest time already sampled).
    // Returns the turn as scheduled.
    JigTurn add_turn(JigTurn requested, std::int64_t not_before_ns);

    // End of the last queued turn, or `now_ns` when none is left.
    std::int64_t idle_from(std::int64_t now_ns) const;

    JigState state_at(std::int64_t t_ns);

private:
    std::deque<JigTurn> turns_;
    Mat3 settled_ = kIdentity3;  // orientation after every finished turn
};

}  // namespace vesko::simulator
