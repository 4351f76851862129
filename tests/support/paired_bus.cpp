#include "support/paired_bus.h"

#include "simulator/sim_reader.h"

namespace vesko::test {

PairedBus::PairedBus(std::optional<std::u16string> serial, platform::sim::TimeMode time) : bus(time) {
    if (serial) module = add_module(std::move(*serial), kPairedHub + u"#USB(1)");
    platform::sim::add_mcu(bus, std::nullopt, kPairedHub + u"#USB(4)");
}

platform::sim::SimModule PairedBus::add_module(std::u16string serial, std::u16string location) {
    platform::sim::SimModuleConfig config;
    config.serial = std::move(serial);
    config.location = std::move(location);
    return platform::sim::add_module(bus, config);
}

VantisImuOptions PairedBus::reader_options() { return simulator::reader_options_on(bus, {out.get(), err.get()}); }

}  // namespace vesko::test
