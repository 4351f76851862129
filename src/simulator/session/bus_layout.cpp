#include "simulator/session/bus_layout.h"

#include <map>

#include "platform/device_text.h"

namespace vesko::simulator {

using platform::widen;
namespace {

// The hubs along a port chain, made on first use.
class Hubs {
public:
    explicit Hubs(platform::sim::SimBus& bus) : bus_(bus) {
        hubs_[{}] = simulator::add_hub(bus, std::nullopt, kRootHubLocation);
    }

    platform::DevNode hub_for(const PortChain& device_ports) {
        PortChain chain;
        platform::DevNode node = hubs_.at(chain);
        for (std::size_t i = 0; i + 1 < device_ports.size(); ++i) {
            chain.push_back(device_ports[i]);
            auto it = hubs_.find(chain);
            if (it == hubs_.end()) it = hubs_.emplace(chain, simulator::add_hub(bus_, node, location_of(chain))).first;
            node = it->second;
        }
        return node;
    }

private:
    platform::sim::SimBus& bus_;
    std::map<PortChain, platform::DevNode> hubs_;
};

}  // namespace

std::u16string location_of(const PortChain& ports) {
    std::u16string path(kRootHubLocation);
    for (int p : ports) path += u"#USB(" + widen(std::to_string(p)) + u")";
    return path;
}

std::vector<PlacedModule> build_bus(platform::sim::SimBus& bus, const Scenario& scenario) {
    Hubs hubs(bus);
    const auto wide_list = [](const MoreLocationPaths& paths) {
        std::vector<std::u16string> out;
        for (const std::string& p : paths) out.push_back(widen(p));
        return out;
    };
    for (const McuPlacement& mcu : scenario.mcus)
        simulator::add_mcu(bus, hubs.hub_for(mcu.ports), location_of(mcu.ports), wide_list(mcu.more_location_paths));
    std::vector<PlacedModule> placed;
    for (const ModulePlacement& m : scenario.modules) {
        PlacedModule p;
        p.serial = m.serial;
        p.device = simulator::add_module(bus, {.serial = widen(m.serial),
                                               .hub = hubs.hub_for(m.ports),
                                               .location = location_of(m.ports),
                                               .upper_case_path = m.path_in_capitals,
                                               .more_location_paths = wide_list(m.more_location_paths),
                                               .detail_read_fails = m.detail_read_fails,
                                               .attributes_product_id = m.attributes_product_id});
        p.model = std::make_shared<ModuleModel>(m.params, bus.now_ns());
        bus.attach_source(p.device.hid_interface, p.model);
        placed.push_back(std::move(p));
    }
    return placed;
}

}  // namespace vesko::simulator
