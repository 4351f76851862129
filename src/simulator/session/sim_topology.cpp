#include "simulator/session/sim_topology.h"

#include <tuple>

#include "platform/device_text.h"

namespace vesko::simulator {
namespace {

using namespace platform;
using platform::sim::SimHidInterface;
using platform::sim::SimNode;

// Distinguishes the instance parts of nodes made on one bus: the number the
// next node will get.
std::string next_tag(const SimBus& bus) { return std::to_string(bus.node_count() + 1); }

SimNode make_node(std::optional<DevNode> parent, std::u16string id, std::optional<std::u16string> location_paths) {
    SimNode node;
    node.parent = parent;
    node.instance_id = std::move(id);
    node.location_paths = std::move(location_paths);
    return node;
}

constexpr std::string_view kHidClassGuid = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

}  // namespace

namespace {

template <typename Paths>
std::u16string string_list(const Paths& paths) {
    std::u16string out;
    for (const std::u16string_view p : paths) {
        out.append(p);
        out.push_back(u'\0');
    }
    out.push_back(u'\0');  // the empty text that closes the list
    return out;
}

std::u16string location_list(std::u16string_view location, const std::vector<std::u16string>& more_paths) {
    std::vector<std::u16string_view> paths{location};
    paths.insert(paths.end(), more_paths.begin(), more_paths.end());
    return string_list(paths);
}

}  // namespace

std::u16string location_value(std::initializer_list<std::u16string_view> paths) { return string_list(paths); }

DevNode add_hub(SimBus& bus, std::optional<DevNode> parent, std::u16string_view location) {
    return bus.add_node(make_node(parent, widen(usb_device_id(0x0000, 0x0001, "5&" + next_tag(bus) + "&0&1")),
                                  location_value({location})));
}

DevNode add_mcu(SimBus& bus, std::optional<DevNode> hub, std::u16string_view location,
                const std::vector<std::u16string>& more_paths) {
    return bus.add_node(make_node(hub, widen(usb_device_id(kMcuVendorId, kMcuProductId, "6&" + next_tag(bus) + "&0&2")),
                                  location_list(location, more_paths)));
}

SimModule add_module(SimBus& bus, const SimModuleConfig& config) {
    const std::string tag = next_tag(bus);
    const std::uint16_t vid = config.vendor_id;
    const std::uint16_t pid = config.product_id;
    const HexCase hex = config.lower_case_hex ? HexCase::Lower : HexCase::Upper;
    const std::u16string instance = config.serial.empty() ? widen("6&" + tag + "&0&3") : config.serial;

    SimModule m;
    m.usb_node = bus.add_node(make_node(config.hub, widen(usb_device_id(vid, pid, "", hex)) + instance,
                                        location_list(config.location, config.more_location_paths)));

    const auto add_interface = [&](std::uint8_t number) {
        const std::string mi = hex_digits(number, 2);
        const DevNode interface_node = bus.add_node(
            make_node(m.usb_node, widen(usb_interface_id(vid, pid, number, "7&" + tag + "&0&00" + mi, hex)),
                      std::nullopt));
        const DevNode hid_node =
            bus.add_node(make_node(interface_node, widen(hid_device_id(vid, pid, number, "8&" + tag + "&0&0000", hex)),
                                   std::nullopt));
        std::u16string path =
            widen(hid_interface_path(vid, pid, number, "8&" + tag + "&0&0000#" + std::string(kHidClassGuid)));
        if (config.upper_case_path) path = ascii_upper(path);
        SimHidInterface iface;
        iface.path = path;
        iface.node = hid_node;
        iface.attributes = HidAttributes{vid, config.attributes_product_id.value_or(pid), 0x0100};
        iface.serial = config.serial;
        iface.detail_ok = !(config.detail_read_fails && number == 0);
        const std::size_t index = bus.add_hid_interface(std::move(iface));
        return std::make_tuple(interface_node, hid_node, index, path);
    };

    std::tie(m.interface_node, m.hid_node, m.hid_interface, m.path) = add_interface(0);
    if (config.second_interface) m.second_hid_interface = std::get<2>(add_interface(1));
    return m;
}

}  // namespace vesko::simulator
