#include "simulator/session/sim_bench.h"

#include <algorithm>
#include <cmath>
#include <variant>

namespace vesko::simulator {

SimBench::SimBench(platform::sim::SimBus& bus, std::vector<PlacedModule>& modules, const std::string& jig_module,
                   platform::InterruptWatch* interrupts)
    : bus_(bus), modules_(modules), jig_(module_named(jig_module)), interrupts_(interrupts) {}

PlacedModule* SimBench::module_named(const std::string& serial) {
    for (PlacedModule& m : modules_)
        if (m.serial == serial) return &m;
    return nullptr;
}

std::int64_t SimBench::now_ns() { return bus_.now_ns(); }

void SimBench::run_due() {
    while (!scheduled_.empty() && scheduled_.front().at_ns <= bus_.now_ns()) {
        const auto action = std::move(scheduled_.front().action);
        scheduled_.erase(scheduled_.begin());
        action();
    }
}

void SimBench::sleep_until(std::int64_t t_ns) {
    // Only a person's Ctrl-C comes in the middle of a wait, and only in real time.
    constexpr std::int64_t kInterruptCheckNs = 100'000'000;
    for (;;) {
        run_due();
        const std::int64_t now = bus_.now_ns();
        if (now >= t_ns || interrupted() != 0) return;
        std::int64_t until = t_ns;
        if (!scheduled_.empty()) until = std::min(until, scheduled_.front().at_ns);
        if (interrupts_ != nullptr && bus_.time_mode() == platform::sim::TimeMode::Real)
            until = std::min(until, now + kInterruptCheckNs);
        bus_.clock().sleep_until(until);
    }
}

void SimBench::press_ctrl_c() {
    if (interrupts_ != nullptr) {
        interrupts_->raise_interrupt();
    } else {
        stopped_ = platform::interrupted_exit_code();
    }
}

int SimBench::interrupted() { return interrupts_ != nullptr ? interrupts_->exit_code() : stopped_; }

std::int64_t SimBench::turn_jig(const TurnJig& turn) {
    const std::int64_t now = bus_.now_ns();
    if (jig_ == nullptr) return now;  // an empty jig turns, and nothing feels it
    const JigTurn done = jig_->model->turn(turn.axis, turn.degrees, std::llround(turn.seconds * 1e9), now);
    turns_.push_back(done);
    return done.start_ns + done.duration_ns;
}

void SimBench::set_plugged(PlacedModule& m, bool plugged) {
    const simulator::SimModule& d = m.device;
    if (!plugged) m.model->power_off();
    for (platform::DevNode node : {d.usb_node, d.interface_node, d.hid_node}) bus_.set_node_present(node, plugged);
    bus_.set_interface_present(d.hid_interface, plugged);
    if (d.second_hid_interface) bus_.set_interface_present(*d.second_hid_interface, plugged);
    if (plugged) m.model->power_on(bus_.now_ns());
    bus_.notify_source_changed();
}

void SimBench::fault(const FaultStep& step) {
    PlacedModule* m = step.module.empty() ? jig_ : module_named(step.module);
    if (m == nullptr) return;
    const std::int64_t at = bus_.now_ns() + std::llround(step.delay * 1e9);
    faults_.push_back({at, step});
    if (const auto* stream = std::get_if<StreamFault>(&step.what)) {
        m->model->inject(*stream, at);
        bus_.notify_source_changed();
        return;
    }
    const std::int64_t back = at + std::llround(std::get<Unplug>(step.what).seconds * 1e9);
    const auto schedule = [this](std::int64_t t, std::function<void()> action) {
        auto pos = std::upper_bound(scheduled_.begin(), scheduled_.end(), t,
                                    [](std::int64_t v, const Scheduled& s) { return v < s.at_ns; });
        scheduled_.insert(pos, Scheduled{t, std::move(action)});
    };
    schedule(at, [this, m] { set_plugged(*m, false); });
    schedule(back, [this, m] { set_plugged(*m, true); });
    run_due();
}

}  // namespace vesko::simulator
