#include "swarm/swarm_command.h"

#include <algorithm>

#include "platform/clock.h"
#include "swarm/swarm.h"
#include "text/streams.h"

namespace vesko::swarm {

int run_swarm_command(const simulator::SimCommandLine& line, std::FILE* out, std::FILE* err) {
    SwarmOptions options;
    options.sessions = line.swarm_sessions;
    options.first_seed = line.seed.value_or(1);
    const unsigned cores = platform::processor_count();
    options.jobs = line.jobs.value_or(cores);
    options.dir = line.swarm_dir.value_or(".");
    options.out = out;
    TextSink(out).print("swarm: %d sessions, seeds %llu to %llu, %u at a time\n", options.sessions,
                        static_cast<unsigned long long>(options.first_seed),
                        static_cast<unsigned long long>(options.first_seed +
                                                        static_cast<std::uint64_t>(options.sessions) - 1),
                        options.jobs);
    if (std::fflush(out) != 0 || std::ferror(out)) {
        TextSink(err).write("rotabench-sim: cannot write standard output\n");
        return 2;
    }
    // Real time, to tell how fast the swarm ran; nothing it prints depends on it but the last line.
    platform::Clock& clock = platform::monotonic_clock();
    const std::int64_t started = clock.now_ns();
    const SwarmTally tally = run_swarm(options);
    const double seconds = static_cast<double>(clock.now_ns() - started) / 1e9;
    print_tally(out, tally, seconds, options.jobs, cores);
    if (std::fflush(out) != 0 || std::ferror(out)) {
        TextSink(err).write("rotabench-sim: cannot write standard output\n");
        return 2;
    }
    return tally.findings.empty() ? 0 : simulator::kExitSwarmFinding;
}

}  // namespace vesko::swarm
