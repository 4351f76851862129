#pragma once

// SimBench: the bench of a simulated session (the jig's module, cables, faults, on the bus clock).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_bus.h"
#include "simulator/session/bench.h"
#include "simulator/session/bus_layout.h"

namespace vesko::simulator {

// The bench of a simulated session: the jig carries one of the bus's modules;
// faults reach a module's model, or its place on the bus for an unplug.
// Unplugs and replugs happen at their moments while the operator or the
// console waits in sleep_until, which is where the console's thread spends
// its time. One thread only: the console's.
class SimBench final : public Bench {
public:
    SimBench(platform::sim::SimBus& bus, std::vector<PlacedModule>& modules, const std::string& jig_module);

    std::int64_t now_ns() override;
    void sleep_until(std::int64_t t_ns) override;
    std::int64_t turn_jig(const TurnJig& turn) override;
    void fault(const FaultStep& fault) override;

private:
    struct Scheduled {
        std::int64_t at_ns = 0;
        std::function<void()> action;
    };

    PlacedModule* module_named(const std::string& serial);
    void set_plugged(PlacedModule& m, bool plugged);
    void run_due();

    platform::sim::SimBus& bus_;
    std::vector<PlacedModule>& modules_;
    PlacedModule* jig_ = nullptr;
    std::vector<Scheduled> scheduled_;  // in order of time
};

}  // namespace vesko::simulator
