#include "simulator/sim_command_line.h"

#include <charconv>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "text/streams.h"

namespace vesko::simulator {

const char* const kSimHelp =
    "Runs the calibration console of rotabench on a simulated bus with a scripted operator: the\n"
    "scenario file, or the built-in session, in real time.\n"
    "  --fast            virtual time: the same session in a fraction of a second, the same bytes\n"
    "                    on every run\n"
    "  --rehearse        practise without hardware: you answer the console at the keyboard, the\n"
    "                    jig turns by itself about a second after each arming Enter (about X, Y\n"
    "                    and Z in turn, or as the scenario's [[rehearse]] plan says), and the\n"
    "                    truth then says what went wrong with each refused or suspect run\n"
    "  --study N         N sessions in virtual time, each with its own noise seed, and the error\n"
    "                    of the console's per-axis means against the module's true scales, and\n"
    "                    of each term of the cross-axis matrix against the module's true one\n"
    "  --seed S          the first session's noise seed (default 1)\n"
    "  --jobs J          J sessions at a time (default one per processor)\n"
    "  --csv             one row per session instead of the table\n"
    "  --svg FILE        the errors drawn, one dot per session and axis\n"
    "  --svg-range PCT   the drawing's scale fixed to +/-PCT percent (default: the data's extent)\n"
    "  --swarm N         N whole sessions drawn from the seed (bus, module truth, operator, faults),\n"
    "                    each judged against the truth: a run's scale within what its conditions\n"
    "                    explain, the report reading back what was measured, the same bytes twice\n"
    "  --swarm-dir DIR   where a finding's scenario file goes (default the current directory);\n"
    "                    rotabench-sim --fast FILE replays it\n"
    "  --version, --help\n"
    "Exit codes: the console's (0 a session ended with a summary, 1 it could not start,\n"
    "130 on Linux when Ctrl-C stopped it, with the summary of the runs so far),\n"
    "2 a bad command line, a scenario that cannot be read or is invalid, or a file that cannot\n"
    "be opened for writing, 3 an expectation of the scenario not met, 4 the simulator stalled,\n"
    "5 a study in which no session printed a mean, 6 a swarm with a finding, 74 standard output\n"
    "or the --svg file could not be written (the reason on standard error).\n";

namespace {

// A study runs at most this many sessions at a time; more is a typing error.
constexpr std::uint64_t kMostJobs = 1024;
constexpr std::uint64_t kMostSessions = 1'000'000;
constexpr std::uint64_t kMostSeed = ~std::uint64_t{0} / 2;

// The whole number in `text`, from `least` to `most`, or why it is not one.
std::variant<std::uint64_t, std::string> whole_number(std::string_view text, std::uint64_t least, std::uint64_t most) {
    std::uint64_t value = 0;
    const auto [stop, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc{} && stop == text.data() + text.size()) {
        if (value < least) return "must be " + std::to_string(least) + " or more";
        if (value > most) return "must be at most " + std::to_string(most);
        return value;
    }
    if (ec == std::errc::result_out_of_range) return "must be at most " + std::to_string(most);
    return "must be a whole number from " + std::to_string(least) + " to " + std::to_string(most);
}

}  // namespace

std::variant<SimCommandLine, SimUsageError> parse_sim_command_line(int argc, const char* const* argv) {
    SimCommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takes_value = arg == "--study" || arg == "--jobs" || arg == "--seed" || arg == "--svg" ||
                                 arg == "--svg-range" || arg == "--swarm" || arg == "--swarm-dir";
        if (takes_value && i + 1 >= argc) return SimUsageError{arg, "needs a value after it"};
        const std::string value = takes_value ? argv[++i] : "";
        const std::string both = arg + " " + value;
        // A whole number for `arg`, or the error that names it.
        const auto number = [&](std::uint64_t least, std::uint64_t most, auto& into) -> std::optional<SimUsageError> {
            const auto n = whole_number(value, least, most);
            if (const auto* why = std::get_if<std::string>(&n)) return SimUsageError{both, *why};
            into = static_cast<std::remove_reference_t<decltype(into)>>(std::get<std::uint64_t>(n));
            return std::nullopt;
        };
        std::optional<SimUsageError> bad;
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--fast") {
            line.fast = true;
        } else if (arg == "--rehearse") {
            line.rehearse = true;
        } else if (arg == "--csv") {
            line.csv = true;
        } else if (arg == "--study") {
            bad = number(1, kMostSessions, line.study_sessions);
        } else if (arg == "--swarm") {
            bad = number(1, kMostSessions, line.swarm_sessions);
        } else if (arg == "--swarm-dir") {
            if (value.empty()) return SimUsageError{arg, "needs a folder name"};
            line.swarm_dir = value;
        } else if (arg == "--jobs") {
            unsigned jobs = 0;
            bad = number(1, kMostJobs, jobs);
            line.jobs = jobs;
        } else if (arg == "--seed") {
            std::uint64_t seed = 0;
            bad = number(0, kMostSeed, seed);
            line.seed = seed;
        } else if (arg == "--svg") {
            if (value.empty()) return SimUsageError{arg, "needs a file name"};
            line.svg_file = value;
        } else if (arg == "--svg-range") {
            double pct = 0;
            const auto [stop, ec] = std::from_chars(value.data(), value.data() + value.size(), pct);
            if (ec != std::errc{} || stop != value.data() + value.size() || !(pct > 0) || pct > 100)
                return SimUsageError{both, "must be a percentage above 0 and at most 100"};
            line.svg_range_pct = pct;
        } else if (!arg.empty() && arg[0] == '-') {
            return SimUsageError{arg, "not an option"};
        } else if (line.scenario_file) {
            return SimUsageError{arg, "a second scenario (" + *line.scenario_file + " is the first)"};
        } else {
            line.scenario_file = arg;
        }
        if (bad) return *bad;
    }
    if (line.help || line.version) return line;
    const bool study = line.study_sessions > 0;
    const bool swarm = line.swarm_sessions > 0;
    if (line.rehearse) {
        if (line.fast) return SimUsageError{"--fast", "a rehearsal runs in real time"};
        if (study) return SimUsageError{"--study", "not with --rehearse"};
        if (swarm) return SimUsageError{"--swarm", "not with --rehearse"};
    }
    if (swarm) {
        if (study) return SimUsageError{"--study", "not with --swarm"};
        if (line.fast) return SimUsageError{"--fast", "a swarm always runs in virtual time"};
        if (line.scenario_file) return SimUsageError{*line.scenario_file, "a swarm draws its own sessions"};
        if (line.csv) return SimUsageError{"--csv", "only with --study"};
        if (line.svg_file) return SimUsageError{"--svg", "only with --study"};
        return line;
    }
    if (line.swarm_dir) return SimUsageError{"--swarm-dir", "only with --swarm"};
    const std::pair<bool, const char*> study_only[] = {{line.csv, "--csv"},
                                                       {line.seed.has_value(), "--seed"},
                                                       {line.jobs.has_value(), "--jobs"},
                                                       {line.svg_file.has_value(), "--svg"},
                                                       {line.svg_range_pct.has_value(), "--svg-range"}};
    for (const auto& [given, name] : study_only) {
        const bool swarm_too = std::string_view(name) == "--seed" || std::string_view(name) == "--jobs";
        if (given && !study)
            return SimUsageError{name, swarm_too ? "only with --study or --swarm" : "only with --study"};
    }
    if (line.svg_range_pct && !line.svg_file) return SimUsageError{"--svg-range", "only with --svg"};
    if (study && line.fast) return SimUsageError{"--fast", "a study always runs in virtual time"};
    return line;
}

int print_sim_usage_error(const SimUsageError& bad, std::FILE* err) {
    TextSink(err).print("rotabench-sim: cannot take %s: %s\n", bad.argument.c_str(), bad.reason.c_str());
    TextSink(err).write(kSimUsageLine);
    return 2;
}

}  // namespace vesko::simulator
