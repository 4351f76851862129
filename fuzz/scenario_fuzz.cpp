// The scenario reader on arbitrary text. Every text gives either a scenario
// or an error that names the source; a scenario is then built on a simulated
// bus as rotabench-sim builds it, discovery runs on that bus and must leave at
// most the chosen module open, and each module's model plays a few reports
// that must decode.

#include <string>
#include <string_view>

#include "discovery/open_imu_device.h"
#include "fuzz_input.h"
#include "imu/input_report.h"
#include "platform/device_text.h"
#include "platform/sim/sim_bus.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/bus_layout.h"

namespace {

using namespace vesko;

constexpr char kSourceName[] = "fuzz.toml";
constexpr int kReportsPerModule = 4;

void play_bus(const simulator::Scenario& scenario) {
    platform::sim::SimBus bus;  // virtual time: nothing here waits
    const std::vector<simulator::PlacedModule> placed = simulator::build_bus(bus, scenario);
    FUZZ_CHECK(placed.size() == scenario.modules.size());

    const OutputStreams quiet{fuzz::null_stream(), fuzz::null_stream()};
    std::u16string chosen_serial;
    const platform::Handle device =
        open_imu_device(bus, platform::widen(scenario.serial.value_or("")), &chosen_serial, true, quiet);
    FUZZ_CHECK(bus.open_handle_count() == (device == platform::kInvalidHandle ? 0u : 1u));
    FUZZ_CHECK(bus.bad_close_count() == 0);
    if (device != platform::kInvalidHandle) {
        if (scenario.serial) FUZZ_CHECK(chosen_serial == platform::widen(*scenario.serial));
        bus.close(device);
    }

    for (const simulator::PlacedModule& module : placed) {
        for (int n = 0; n < kReportsPerModule; ++n) {
            const auto due = module.model->next_report_time();
            if (!due) break;
            std::uint8_t report[kImuReportReadLength];
            const std::size_t length = module.model->take_report(*due, report, sizeof report);
            FUZZ_CHECK(length <= sizeof report);
            ImuSample samples[kSamplesPerReport];
            FUZZ_CHECK(decode_input_report(report, length, samples));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const simulator::ScenarioLoad load = simulator::parse_scenario(text, kSourceName);
    FUZZ_CHECK(load.scenario.has_value() == load.error.empty());
    if (!load.scenario) {
        FUZZ_CHECK(load.error.rfind(kSourceName, 0) == 0);
        return 0;
    }
    play_bus(*load.scenario);
    return 0;
}
