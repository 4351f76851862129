#include "platform/sim/sim_topology.h"

#include <tuple>

namespace vesko::sim {
namespace {

std::u16string hex4(std::uint16_t value, bool lower) {
    const char16_t* digits = lower ? u"0123456789abcdef" : u"0123456789ABCDEF";
    std::u16string out(4, u'0');
    for (int i = 3; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = digits[value & 0xF];
        value = static_cast<std::uint16_t>(value >> 4);
    }
    return out;
}

std::u16string number(std::size_t value) {
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return out;
}

std::u16string lower(std::u16string text) {
    for (char16_t& u : text) {
        if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u - u'A' + u'a');
    }
    return text;
}

std::u16string upper(std::u16string text) {
    for (char16_t& u : text) {
        if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
    }
    return text;
}

// Distinguishes the instance parts of nodes made on one bus: the number the
// next node will get.
std::u16string next_tag(const SimBus& bus) { return number(bus.node_count() + 1); }

SimNode make_node(std::optional<platform::DevNode> parent, std::u16string id,
                  std::optional<std::u16string> location_paths) {
    SimNode node;
    node.parent = parent;
    node.instance_id = std::move(id);
    node.location_paths = std::move(location_paths);
    return node;
}

constexpr std::u16string_view kHidClassGuid = u"{4d1e55b2-f16f-11cf-88cb-001111000030}";

}  // namespace

std::u16string location_value(std::initializer_list<std::u16string_view> paths) {
    std::u16string out;
    for (const auto p : paths) {
        out.append(p);
        out.push_back(u'\0');
    }
    out.push_back(u'\0');  // the empty text that closes the list
    return out;
}

namespace {

std::u16string location_list(std::u16string_view location, const std::vector<std::u16string>& more_paths) {
    std::u16string out(location);
    out.push_back(u'\0');
    for (const std::u16string& p : more_paths) {
        out += p;
        out.push_back(u'\0');
    }
    out.push_back(u'\0');
    return out;
}

}  // namespace

platform::DevNode add_hub(SimBus& bus, std::optional<platform::DevNode> parent,
                          std::u16string_view location) {
    const std::u16string tag = next_tag(bus);
    return bus.add_node(make_node(parent, u"USB\\VID_0000&PID_0001\\5&" + tag + u"&0&1",
                                location_value({location})));
}

platform::DevNode add_mcu(SimBus& bus, std::optional<platform::DevNode> hub,
                          std::u16string_view location, const std::vector<std::u16string>& more_paths) {
    const std::u16string tag = next_tag(bus);
    return bus.add_node(make_node(hub, u"USB\\VID_35BD&PID_0101\\6&" + tag + u"&0&2",
                                location_list(location, more_paths)));
}

SimModule add_module(SimBus& bus, const SimModuleConfig& config) {
    const std::u16string tag = next_tag(bus);
    const std::u16string vid = hex4(config.vendor_id, config.lower_case_hex);
    const std::u16string pid = hex4(config.product_id, config.lower_case_hex);
    const std::u16string ids = u"VID_" + vid + u"&PID_" + pid;
    const std::u16string instance = config.serial.empty() ? u"6&" + tag + u"&0&3" : config.serial;

    SimModule m;
    m.usb_node = bus.add_node(
        make_node(config.hub, u"USB\\" + ids + u"\\" + instance,
                  location_list(config.location, config.more_location_paths)));

    const auto add_interface = [&](std::u16string_view mi) {
        const platform::DevNode interface_node = bus.add_node(
            make_node(m.usb_node, u"USB\\" + ids + u"&MI_" + std::u16string(mi) + u"\\7&" + tag + u"&0&00" +
                                    std::u16string(mi),
                    std::nullopt));
        const platform::DevNode hid_node = bus.add_node(make_node(
            interface_node, u"HID\\" + ids + u"&MI_" + std::u16string(mi) + u"\\8&" + tag + u"&0&0000",
            std::nullopt));
        std::u16string path = u"\\\\?\\hid#" + lower(ids) + u"&mi_" + std::u16string(mi) + u"#8&" + tag +
                              u"&0&0000#" + std::u16string(kHidClassGuid);
        if (config.upper_case_path) path = upper(path);
        SimHidInterface iface;
        iface.path = path;
        iface.node = hid_node;
        iface.attributes = platform::HidAttributes{config.vendor_id, config.product_id, 0x0100};
        iface.serial = config.serial;
        iface.detail_ok = !(config.detail_read_fails && mi == u"00");
        const std::size_t index = bus.add_hid_interface(std::move(iface));
        return std::make_tuple(interface_node, hid_node, index, path);
    };

    std::tie(m.interface_node, m.hid_node, m.hid_interface, m.path) = add_interface(u"00");
    if (config.second_interface) m.second_hid_interface = std::get<2>(add_interface(u"01"));
    return m;
}

}  // namespace vesko::sim
