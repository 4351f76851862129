#pragma once

// One whole session drawn from a seed: the bus, the modules' truth, the jig's
// errors, the operator's timing and typing, and faults at random moments.

#include <cstdint>

#include "simulator/scenario/scenario.h"

namespace vesko::swarm {

// Every draw is a function of `seed` alone, on every machine (no library
// distribution is used), so a seed names its session. Every part of it is
// something a scenario file can say.
simulator::Scenario draw_session(std::uint64_t seed);

}  // namespace vesko::swarm
