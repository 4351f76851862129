#include "swarm/swarm.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "platform/sim/sim_bus.h"
#include "simulator/output_file.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/scenario/scenario_write.h"
#include "simulator/session/session.h"
#include "swarm/draw_session.h"
#include "text/console_text.h"
#include "text/lost_output.h"
#include "text/streams.h"

namespace vesko::swarm {
namespace {

simulator::SessionOutcome run_quietly(const simulator::Scenario& scenario) {
    simulator::SessionOptions options;
    options.time = platform::sim::TimeMode::Virtual;
    options.out = nullptr;
    options.err = nullptr;
    options.print_truth = false;
    return simulator::run_session(scenario, options);
}

bool same_bytes(const simulator::SessionOutcome& a, const simulator::SessionOutcome& b) {
    return a.exit_code == b.exit_code && a.transcript == b.transcript && a.diagnostics == b.diagnostics;
}

// Writes the session's scenario file into `dir`, with what failed in
// comments at its top; its path, or empty when it could not be written.
std::string write_finding_file(const std::string& dir, std::uint64_t seed, const std::vector<std::string>& whats,
                               const std::string& toml) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path = (std::filesystem::path(dir) / ("swarm-" + std::to_string(seed) + ".toml")).string();
    std::string text;
    for (const std::string& what : whats)
        text += "# rotabench-sim --swarm, seed " + std::to_string(seed) + ": " + what + "\n";
    text += "# replay: rotabench-sim --fast " + path + "\n" + toml;
    const auto opened = simulator::open_for_writing(path);
    if (!std::holds_alternative<std::FILE*>(opened)) return "";
    std::FILE* file = std::get<std::FILE*>(opened);
    text::write_text(file, text);
    if (text::close_output(file)) return "";
    return path;
}

void print_finding(std::FILE* out, const SwarmFinding& f) {
    if (out == nullptr) return;
    TextSink(out).print("swarm: FINDING seed %llu (session %d): %s; %s%s\n", static_cast<unsigned long long>(f.seed),
                        f.session, f.what.c_str(),
                        f.file.empty() ? "its scenario file could not be written" : f.file.c_str(),
                        f.file.empty() || f.replays ? "" : " (which does not replay it)");
    TextSink(out).flush();
}

// The sessions in flight, for a deadlock: the bus ends the process, and a
// swarm's last word is which sessions it was running.
struct InFlight {
    std::mutex mutex;
    std::map<unsigned, std::pair<std::uint64_t, std::string>> sessions;  // by worker: seed, scenario
    std::string dir;
    std::FILE* out = nullptr;
};
InFlight& in_flight() {
    static InFlight f;
    return f;
}

void name_sessions_in_flight(const char* report) {
    InFlight& f = in_flight();
    const std::lock_guard<std::mutex> lock(f.mutex);
    const std::string what = "the simulated bus deadlocked in this session or one beside it: " +
                             std::string(report, std::strcspn(report, "\n"));
    for (const auto& [worker, session] : f.sessions) {
        SwarmFinding finding{0, session.first, what, write_finding_file(f.dir, session.first, {what}, session.second),
                             false};
        print_finding(f.out, finding);
    }
}

}  // namespace

SessionVerdict run_one(const std::string& toml, std::uint64_t seed, int session, const std::string& dir, bool rerun) {
    SessionVerdict v;
    const simulator::ScenarioLoad load = simulator::parse_scenario(toml, "swarm-" + std::to_string(seed) + ".toml");
    std::vector<std::string> whats;
    simulator::SessionOutcome outcome;
    if (!load.scenario) {
        whats.push_back("the drawn session is not a scenario the format takes: " + load.error);
    } else {
        outcome = run_quietly(*load.scenario);
        v.judgement = judge_session(*load.scenario, outcome);
        whats = v.judgement.findings;
        if (rerun && !same_bytes(run_quietly(*load.scenario), outcome))
            whats.emplace_back("the same seed printed other bytes on a second run");
    }
    if (whats.empty()) return v;
    // One file per session, with every finding of it at its top; read back
    // and run, it must play the very same session.
    const std::string file = write_finding_file(dir, seed, whats, toml);
    bool replays = false;
    if (!file.empty()) {
        const simulator::ScenarioLoad back = simulator::load_scenario_file(file);
        replays = back.scenario && same_bytes(run_quietly(*back.scenario), outcome);
    }
    for (const std::string& what : whats) v.findings.push_back({session, seed, what, file, replays});
    return v;
}

SwarmTally run_swarm(const SwarmOptions& options) {
    SwarmTally tally;
    tally.sessions = std::max(options.sessions, 0);
    unsigned threads = options.jobs != 0 ? options.jobs : platform::processor_count();
    threads = std::min(threads, static_cast<unsigned>(std::max(tally.sessions, 1)));
    std::atomic<int> next{0};
    std::mutex mutex;  // the tally and the output
    {
        const std::lock_guard<std::mutex> lock(in_flight().mutex);
        in_flight().dir = options.dir;
        in_flight().out = options.out;
    }
    platform::sim::set_deadlock_hook(&name_sessions_in_flight);
    const auto work = [&](unsigned worker) {
        for (int i = next++; i < tally.sessions; i = next++) {
            const int session = i + 1;
            const std::uint64_t seed = options.first_seed + static_cast<std::uint64_t>(i);
            // The session runs from its file's text, so that the file is
            // exactly what ran.
            const std::string toml = simulator::scenario_toml(draw_session(seed));
            {
                const std::lock_guard<std::mutex> lock(in_flight().mutex);
                in_flight().sessions[worker] = {seed, toml};
            }
            const bool rerun = options.rerun_every > 0 && session % options.rerun_every == 0;
            const SessionVerdict v = run_one(toml, seed, session, options.dir, rerun);
            const std::lock_guard<std::mutex> lock(mutex);
            tally.rerun += rerun ? 1 : 0;
            tally.accepted += v.judgement.accepted;
            for (std::size_t r = 0; r < v.judgement.refused.size(); ++r) tally.refused[r] += v.judgement.refused[r];
            for (const SwarmFinding& f : v.findings) {
                print_finding(options.out, f);
                tally.findings.push_back(f);
            }
        }
    };
    platform::run_on_threads(threads, work);
    platform::sim::set_deadlock_hook(nullptr);
    {
        const std::lock_guard<std::mutex> lock(in_flight().mutex);
        in_flight().sessions.clear();
    }
    std::stable_sort(tally.findings.begin(), tally.findings.end(),
                     [](const SwarmFinding& a, const SwarmFinding& b) { return a.session < b.session; });
    return tally;
}

void print_tally(std::FILE* out, const SwarmTally& t, double seconds, unsigned jobs, unsigned cores) {
    const TextSink sink(out);
    int refused = 0;
    for (const int n : t.refused) refused += n;
    sink.print("%d sessions: %d runs accepted, %d refused (", t.sessions, t.accepted, refused);
    for (std::size_t r = 0; r < t.refused.size(); ++r)
        sink.print("%s%d %s", r ? ", " : "", t.refused[r], kRefusalNames[r]);
    sink.print("); %d sessions run twice for their bytes\n", t.rerun);
    if (t.findings.empty()) {
        sink.write("no findings\n");
    } else {
        sink.print("%zu findings, the first in session %d (seed %llu)\n", t.findings.size(), t.findings.front().session,
                   static_cast<unsigned long long>(t.findings.front().seed));
    }
    const unsigned busy = std::max(1u, std::min(jobs, cores));
    const double per_core = seconds > 0 ? static_cast<double>(t.sessions) / seconds / busy : 0.0;
    sink.print("%d sessions in %.1f s, %u at a time on %u processor(s): %.1f sessions per second per processor\n",
               t.sessions, seconds, jobs, cores, per_core);
}

}  // namespace vesko::swarm
