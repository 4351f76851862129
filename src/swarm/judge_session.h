#pragma once

// The swarm's oracles: one session held against the truth the simulator
// knows, never against the console's own checks.

#include <array>
#include <string>
#include <vector>

#include "simulator/scenario/scenario.h"
#include "simulator/session/session.h"

namespace vesko::swarm {

// Why the console turned a run down, as the swarm counts them.
enum class Refusal { Gap, NoRotation, StarvedBias, Count };
inline constexpr std::array<const char*, static_cast<std::size_t>(Refusal::Count)> kRefusalNames =
    {"stream gap", "no rotation", "starved bias capture"};

struct Judgement {
    int accepted = 0;
    std::array<int, static_cast<std::size_t>(Refusal::Count)> refused{};
    std::vector<std::string> findings;  // what failed, one line each
};

// Judges a session of `scenario` that ended with `outcome`:
//  - each accepted run's scale against the true scale, within run_bound;
//  - a run refused for a gap, although no stretch went unsampled and the
//    module's clock neither leapt nor restarted;
//  - rotabench-report's reading of the transcript: the same runs, as
//    printed, and the same summary;
//  - the cross-axis matrix of the report's fit, where one is made.
Judgement judge_session(const simulator::Scenario& scenario, const simulator::SessionOutcome& outcome);

}  // namespace vesko::swarm
