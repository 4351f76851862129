// The contract suite on the simulated bus, in real time: one module whose
// HID interface plays the reports the test sends; and the bus's clock, in
// virtual time and in real time.

#include "contract/platform_contract.h"
#include "support/paired_bus.h"
#include "support/queued_reports.h"

namespace vesko::contract {
namespace {

class SimRig final : public ContractRig {
public:
    SimRig() { bench_.bus.attach_source(bench_.module.hid_interface, source_); }
    platform::Platform& platform() override { return bench_.bus; }
    platform::Handle open_module() override { return bench_.bus.open_device(bench_.module.path); }
    void send(const std::vector<std::uint8_t>& report) override {
        source_->push(report);
        bench_.bus.notify_source_changed();
    }
    void pull() override { bench_.bus.set_interface_present(bench_.module.hid_interface, false); }

private:
    test::PairedBus bench_{u"KVR-RIG001", platform::sim::TimeMode::Real};
    std::shared_ptr<test::QueuedReports> source_ = std::make_shared<test::QueuedReports>();
};

INSTANTIATE_TEST_SUITE_P(SimBus, PlatformContract,
                         ::testing::Values(RigMaker{"SimBus", [] { return std::make_unique<SimRig>(); }}), rig_name);

// A bus's clock; in virtual time the rig's maker takes part in it.
class BusClockRig final : public ClockRig {
public:
    explicit BusClockRig(platform::sim::TimeMode mode) : bus_(mode) {}
    platform::Clock& clock() override { return bus_.clock(); }

private:
    platform::sim::SimBus bus_;
    platform::sim::BusClock::Participation test_{bus_.clock(), "test", platform::kConsoleRank};
};

INSTANTIATE_TEST_SUITE_P(
    BusClock, ClockContract,
    ::testing::Values(ClockMaker{"Virtual",
                                 [] { return std::make_unique<BusClockRig>(platform::sim::TimeMode::Virtual); }},
                      ClockMaker{"Real", [] { return std::make_unique<BusClockRig>(platform::sim::TimeMode::Real); }}),
    clock_name);

}  // namespace
}  // namespace vesko::contract
