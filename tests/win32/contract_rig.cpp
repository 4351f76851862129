// The contract suite on the Windows backend: a message-mode named pipe plays
// the module, read with the real overlapped calls.

#include "contract/platform_contract.h"
#include "pipe_module.h"
#include "platform/win32/win32_platform.h"

namespace vesko::contract {
namespace {

constexpr std::uint32_t kErrorBrokenPipe = 109;
constexpr std::uint32_t kErrorPipeNotConnected = 233;

class PipeRig final : public ContractRig {
public:
    platform::Platform& platform() override { return platform_; }
    platform::Handle open_module() override {
        const platform::Handle handle = platform_.open_device(module_.path());
        if (handle == platform::kInvalidHandle || module_.accept(handle)) return handle;
        platform_.close(handle);
        return platform::kInvalidHandle;
    }
    void send(const std::vector<std::uint8_t>& report) override { module_.send(report); }
    void pull() override { module_.hang_up(); }
    bool ready() const override { return module_.ok(); }

    // The far end of a pipe closing is what a module leaving looks like here.
    std::set<std::uint32_t> gone_errors() const override { return {kErrorBrokenPipe, kErrorPipeNotConnected}; }
    bool answers_misuse_by_contract() const override { return false; }

private:
    platform::win32::Win32Platform platform_;
    testing::PipeModule module_{u"&mi_00"};
};

INSTANTIATE_TEST_SUITE_P(Win32, PlatformContract,
                         ::testing::Values(RigMaker{"NamedPipe", [] { return std::make_unique<PipeRig>(); }}),
                         rig_name);

INSTANTIATE_TEST_SUITE_P(
    Monotonic, ClockContract,
    ::testing::Values(ClockMaker{"Monotonic",
                                 [] { return std::make_unique<PlainClockRig>(platform::monotonic_clock()); }}),
    clock_name);

}  // namespace
}  // namespace vesko::contract
