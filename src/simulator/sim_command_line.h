#pragma once

// rotabench-sim's command line: the scenario, and how to run it (in real
// time, in virtual time, or as a study of many sessions).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>

namespace vesko::simulator {

struct SimCommandLine {
    std::optional<std::string> scenario_file;  // none: the built-in session
    bool fast = false;                         // virtual time
    bool rehearse = false;                     // a person at the keyboard, the jig turning by itself
    int study_sessions = 0;                    // > 0: a study of that many sessions
    std::optional<std::uint64_t> seed;         // the first session's noise seed
    bool csv = false;                          // a study's sessions, one row each
    std::optional<std::string> svg_file;       // a study drawn, into this file
    std::optional<double> svg_range_pct;       // the drawing's scale fixed to +/- this (percent)
    std::optional<unsigned> jobs;              // a study's or swarm's sessions at a time (none: one per processor)
    int swarm_sessions = 0;                    // > 0: a swarm of that many drawn sessions
    std::optional<std::string> swarm_dir;      // where the swarm writes a finding's scenario
    bool help = false;
    bool version = false;
};

inline constexpr const char* kSimUsageLine =
    "usage: rotabench-sim [--fast | --rehearse | --study N [--seed S] [--jobs J] [--csv]\n"
    "                     [--svg FILE [--svg-range PCT]]] [SCENARIO.toml]\n"
    "       rotabench-sim --swarm N [--seed S] [--jobs J] [--swarm-dir DIR]\n"
    "       rotabench-sim --version | --help\n";

// What --help prints after the usage line.
extern const char* const kSimHelp;

// A study in which no session printed a mean for any axis.
inline constexpr int kExitStudyWithoutSummary = 5;
// A swarm that found a session its oracles do not pass.
inline constexpr int kExitSwarmFinding = 6;

// An argument the command line cannot take, and why ("must be 1 or more").
struct SimUsageError {
    std::string argument;
    std::string reason;
};

std::variant<SimCommandLine, SimUsageError> parse_sim_command_line(int argc, const char* const* argv);

// The usage error's lines on `err`; returns 2.
int print_sim_usage_error(const SimUsageError& bad, std::FILE* err);

}  // namespace vesko::simulator
