#include "support/paired_bus.h"

namespace vesko::test {

PairedBus::PairedBus(std::optional<std::u16string> serial, platform::sim::TimeMode time) : bus(time) {
    if (serial) module = add_module(std::move(*serial), kPairedHub + u"#USB(1)");
    simulator::add_mcu(bus, std::nullopt, kPairedHub + u"#USB(4)");
}

simulator::SimModule PairedBus::add_module(std::u16string serial, std::u16string location) {
    simulator::SimModuleConfig config;
    config.serial = std::move(serial);
    config.location = std::move(location);
    return simulator::add_module(bus, config);
}

VantisImuOptions PairedBus::reader_options() { return VantisImuOptions{{out.get(), err.get()}}; }

}  // namespace vesko::test
