// The contract suite on the simulated bus, in real time: one module whose
// HID interface plays the reports the test sends.

#include "contract/platform_contract.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"
#include "support/queued_reports.h"

namespace vesko::contract {
namespace {

class SimRig final : public ContractRig {
public:
    SimRig() {
        simulator::SimModuleConfig config;
        config.serial = u"KVR-RIG001";
        config.location = u"R#USB(1)";
        module_ = simulator::add_module(bus_, config);
        bus_.attach_source(module_.hid_interface, source_);
    }
    platform::Platform& platform() override { return bus_; }
    platform::Handle open_module() override { return bus_.open_device(module_.path); }
    void send(const std::vector<std::uint8_t>& report) override {
        source_->push(report);
        bus_.notify_source_changed();
    }
    void pull() override { bus_.set_interface_present(module_.hid_interface, false); }

private:
    platform::sim::SimBus bus_{platform::sim::TimeMode::Real};
    std::shared_ptr<test::QueuedReports> source_ = std::make_shared<test::QueuedReports>();
    simulator::SimModule module_;
};

INSTANTIATE_TEST_SUITE_P(SimBus, PlatformContract,
                         ::testing::Values(RigMaker{"SimBus", [] { return std::make_unique<SimRig>(); }}),
                         rig_name);

}  // namespace
}  // namespace vesko::contract
