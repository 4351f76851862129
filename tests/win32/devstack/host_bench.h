#pragma once

// The bench as the host's operator reaches it: the simulated bench of the
// scenario, except that the jig starts each turn on a tick of the module's
// sample clock. A program in real time asks at no repeatable moment; started
// on a tick, a turn is sampled (and its counts rounded) the same way in every
// run, so the figures printed are the same in every run.

#include <cmath>
#include <string>
#include <vector>

#include "simulator/session/sim_bench.h"

namespace vesko::devstack {

class HostBench final : public simulator::Bench {
public:
    HostBench(platform::sim::SimBus& bus, std::vector<simulator::PlacedModule>& modules, const std::string& jig_module)
        : bench_(bus, modules, jig_module) {
        for (simulator::PlacedModule& m : modules)
            if (m.serial == jig_module) jig_ = &m;
    }

    std::int64_t now_ns() override { return bench_.now_ns(); }
    void sleep_until(std::int64_t t_ns) override { bench_.sleep_until(t_ns); }
    void fault(const simulator::FaultStep& step) override { bench_.fault(step); }
    void press_ctrl_c() override { bench_.press_ctrl_c(); }
    int interrupted() override { return bench_.interrupted(); }
    std::int64_t turn_jig(const simulator::TurnJig& turn) override {
        if (jig_ == nullptr) return bench_.turn_jig(turn);
        const std::int64_t at = jig_->model->next_sample_time(bench_.now_ns());
        const simulator::JigTurn done =
            jig_->model->turn(turn.axis, turn.degrees, std::llround(turn.seconds * 1e9), at);
        return done.start_ns + done.duration_ns;
    }

private:
    simulator::SimBench bench_;
    simulator::PlacedModule* jig_ = nullptr;
};

}  // namespace vesko::devstack
