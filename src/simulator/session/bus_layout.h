#pragma once

// The scenario's hubs, MCUs and modules put on a simulated bus, each module streaming from its
// model.

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_bus.h"
#include "simulator/model/module_model.h"
#include "simulator/scenario/scenario.h"
#include "simulator/session/sim_topology.h"

namespace vesko::simulator {

// One module of the scenario on the bus: its device nodes and interfaces,
// and the model that plays its reports.
struct PlacedModule {
    std::string serial;
    simulator::SimModule device;
    std::shared_ptr<ModuleModel> model;
};

// The root hub's location path; a device on port chain {2, 1} sits at
// this + "#USB(2)#USB(1)".
inline constexpr std::u16string_view kRootHubLocation = u"PCIROOT(0)#PCI(1400)#USBROOT(0)";

// Location path of a port chain.
std::u16string location_of(const PortChain& ports);

// Puts the scenario's hubs, MCUs and modules on the bus (in file order, MCUs
// first), each module powered up now and streaming from its model.
std::vector<PlacedModule> build_bus(platform::sim::SimBus& bus, const Scenario& scenario);

}  // namespace vesko::simulator
