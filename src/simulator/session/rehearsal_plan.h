#pragma once

// A rehearsal's jig: which way it turns for each run, how long a hand takes
// over a turn, and when after the arming Enter it starts.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// The jig starts turning this long after the operator arms a run: the
// stillness the arming question asks for.
inline constexpr std::int64_t kRehearsalTurnDelayNs = 1'000'000'000;

// The turn of the `run`-th armed run (from 0): the plan's, from its first
// again once it is used up; without a plan X, Y and Z in turn, each one way
// and then the other.
RehearsalTurn planned_turn(const std::vector<RehearsalTurn>& plan, std::size_t run);

// The angle the jig turns, signed, before its error: the plan's when it
// names one, else the typed one.
double planned_degrees(const RehearsalTurn& turn, double typed_degrees);

// How long a hand takes over a turn of `degrees`: a quarter turn in about a
// second and a half, a whole one in a little over three.
double hand_turn_seconds(double degrees);

// "+X", "-Y": the axis and the way the jig turns about it.
const char* turn_name(const RehearsalTurn& turn);

}  // namespace vesko::simulator
