#pragma once

// PairedBus: one tracking module sharing a hub with the headset MCU on a simulated bus.

#include <cstdint>
#include <optional>
#include <string>

#include "imu/vantis_imu.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"
#include "support/captured_stream.h"

namespace vesko::test {

// The hub the module (on its port 1) and the MCU (on its port 4) share.
inline const std::u16string kPairedHub = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)";

// One module paired with the headset MCU, so that discovery picks it
// without a serial, and the streams a reader over it prints on. The
// constructing thread takes part in the bus clock as the console; in virtual
// time that clock moves only when the test sleeps on it.
class PairedBus {
public:
    explicit PairedBus(std::optional<std::u16string> serial = u"KVR-TEST01",
                       platform::sim::TimeMode time = platform::sim::TimeMode::Virtual);
    PairedBus(const PairedBus&) = delete;
    PairedBus& operator=(const PairedBus&) = delete;

    // Another module at `location`: paired when it shares a hub with an MCU.
    simulator::SimModule add_module(std::u16string serial, std::u16string location);

    // The stream reader's options, printing on out and err.
    VantisImuOptions reader_options();

    // Lets the other participants (the reader) do all they can at this instant.
    void yield() { bus.clock().sleep_until(bus.now_ns()); }
    // Sleeps `ms` milliseconds on the bus clock.
    void sleep_ms(std::int64_t ms) { bus.clock().sleep_until(bus.now_ns() + ms * 1'000'000); }

    platform::sim::SimBus bus;
    simulator::SimModule module;  // none without a serial
    CapturedStream out;
    CapturedStream err;

private:
    platform::sim::BusClock::Participation console_{bus.clock(), "console", platform::kConsoleRank};
};

}  // namespace vesko::test
