#pragma once

// The swarm: many drawn sessions in virtual time, each judged against the truth.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "swarm/judge_session.h"

namespace vesko::swarm {

struct SwarmOptions {
    int sessions = 0;
    std::uint64_t first_seed = 1;  // session k draws from seed first_seed + k - 1
    unsigned jobs = 0;             // sessions at a time; 0: one per processor
    std::string dir = ".";         // where a finding's scenario file goes
    // Every this many sessions, one runs twice and must print the same bytes.
    int rerun_every = 20;
    std::FILE* out = nullptr;  // a finding's line, the moment it is found
};

struct SwarmFinding {
    int session = 0;  // 1..N
    std::uint64_t seed = 0;
    std::string what;
    std::string file;      // its scenario file; empty if it could not be written
    bool replays = false;  // the file, read back and run, printed the same bytes
};

struct SwarmTally {
    int sessions = 0;
    int rerun = 0;  // sessions run twice
    int accepted = 0;
    std::array<int, static_cast<std::size_t>(Refusal::Count)> refused{};
    std::vector<SwarmFinding> findings;  // in session order
};

SwarmTally run_swarm(const SwarmOptions& options);

// One session from its scenario file's text (`session` and `seed` name it):
// run in virtual time and judged; with `rerun`, run twice for its bytes.
// With a finding, its file is written into `dir` and replayed.
struct SessionVerdict {
    Judgement judgement;
    std::vector<SwarmFinding> findings;
};
SessionVerdict run_one(const std::string& toml, std::uint64_t seed, int session, const std::string& dir, bool rerun);

// The tally's lines: sessions, runs accepted and refused by reason, the
// findings' count and the first, and the speed.
void print_tally(std::FILE* out, const SwarmTally& tally, double seconds, unsigned jobs, unsigned cores);

}  // namespace vesko::swarm
