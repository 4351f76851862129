// The contract suite on the hidraw backend: a packet socket stands in for
// the module's hidraw node in a fake /dev, below a fake sysfs tree, one
// report per read as hidraw gives them.

#include "bench_tree.h"
#include "contract/platform_contract.h"
#include "platform/linux/linux_platform.h"
#include "report_node.h"

namespace vesko::contract {
namespace {

class HidrawRig final : public ContractRig {
public:
    platform::Platform& platform() override { return platform_; }
    platform::Handle open_module() override {
        return platform_.open_device(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw0");
    }
    void send(const std::vector<std::uint8_t>& report) override {
        node_.send(report);  // in the node's queue on return
    }
    void pull() override { node_.unplug(); }
    bool ready() const override { return node_.ok(); }

private:
    testing::BenchTree bench_;
    testing::ReportNode node_{bench_.fake.dev() / "hidraw0"};
    platform::linux_hid::LinuxPlatform platform_{bench_.fake.sys(), bench_.fake.dev(), node_.opener()};
};

INSTANTIATE_TEST_SUITE_P(Hidraw, PlatformContract,
                         ::testing::Values(RigMaker{"Hidraw", [] { return std::make_unique<HidrawRig>(); }}), rig_name);

INSTANTIATE_TEST_SUITE_P(
    Monotonic, ClockContract,
    ::testing::Values(ClockMaker{"Monotonic",
                                 [] { return std::make_unique<PlainClockRig>(platform::monotonic_clock()); }}),
    clock_name);

}  // namespace
}  // namespace vesko::contract
