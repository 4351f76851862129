#pragma once

// SimBench: the bench of a simulated session (the jig's module, cables, faults, on the bus clock).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/interrupts.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/bench.h"
#include "simulator/session/bus_layout.h"

namespace vesko::simulator {

// The bench of a simulated session: the jig carries one of the bus's modules;
// faults reach a module's model, or its place on the bus for an unplug.
// Unplugs and replugs happen at their moments while the operator or the
// console waits in sleep_until, which is where the console's thread spends
// its time. Ctrl-C goes to `interrupts`, the program's own watch, when there
// is one, and stops the session alone when there is none (a study's). In real
// time a wait gives way to an interrupt within a tenth of a second. One
// thread only: the console's (in a rehearsal, the hand's on the jig).
class SimBench final : public Bench {
public:
    SimBench(platform::sim::SimBus& bus, std::vector<PlacedModule>& modules, const std::string& jig_module,
             platform::InterruptWatch* interrupts = nullptr);

    std::int64_t now_ns() override;
    void sleep_until(std::int64_t t_ns) override;
    std::int64_t turn_jig(const TurnJig& turn) override;
    void fault(const FaultStep& fault) override;
    void press_ctrl_c() override;
    int interrupted() override;

    // Every turn of the jig as it was scheduled, in order.
    const std::vector<JigTurn>& turns() const { return turns_; }
    // Every fault given, with the bus time it was given for, in order.
    struct GivenFault {
        std::int64_t at_ns = 0;
        FaultStep step;
    };
    const std::vector<GivenFault>& faults() const { return faults_; }

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
    platform::InterruptWatch* const interrupts_;
    int stopped_ = 0;  // without a watch: the code of the Ctrl-C pressed
    std::vector<JigTurn> turns_;
    std::vector<GivenFault> faults_;
};

}  // namespace vesko::simulator
