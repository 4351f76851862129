// The contract suite on the hidraw backend: a pseudo-terminal stands in for
// the module's hidraw node in a fake /dev, below a fake sysfs tree.

#include <chrono>
#include <thread>

#include "bench_tree.h"
#include "contract/platform_contract.h"
#include "platform/linux/linux_platform.h"
#include "pty_node.h"

namespace vesko::contract {
namespace {

class HidrawRig final : public ContractRig {
public:
    platform::Platform& platform() override { return platform_; }
    platform::Handle open_module() override {
        return platform_.open_device(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw0");
    }
    void send(const std::vector<std::uint8_t>& report) override {
        node_.send(report);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the terminal layer passes it on whole
    }
    void pull() override { node_.unplug(); }
    bool ready() const override { return node_.ok(); }

private:
    testing::BenchTree bench_;
    testing::PtyNode node_{bench_.fake.dev() / "hidraw0"};
    platform::linux_hid::LinuxPlatform platform_{bench_.fake.sys(), bench_.fake.dev()};
};

INSTANTIATE_TEST_SUITE_P(Hidraw, PlatformContract,
                         ::testing::Values(RigMaker{"Hidraw", [] { return std::make_unique<HidrawRig>(); }}),
                         rig_name);

}  // namespace
}  // namespace vesko::contract
