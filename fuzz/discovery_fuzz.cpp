// Discovery on a simulated bus that the input builds: hubs, MCUs and modules
// made the usual way, and raw nodes and interfaces with any parent (missing,
// itself, one made later, so parents can loop), any texts (over-long IDs,
// location values and serials, texts without a NUL) and failing queries.
// open_imu_device must leave open the one handle it returns and nothing
// else, never close a handle twice, and return only interface 00 of a
// 28DE:2300 module, with the requested serial when one was asked for.
//
// The input, front to back: a byte of options (bus-wide failures, whether
// discovery prints), the requested serial, then up to 48 building steps (a
// byte picks the kind, then its fields; see build()).

#include <optional>
#include <string>
#include <vector>

#include "discovery/device_tree.h"
#include "discovery/hub_ancestors.h"
#include "discovery/open_imu_device.h"
#include "discovery_pieces.h"
#include "fuzz_input.h"
#include "platform/device_text.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"

namespace {

using namespace vesko;
using platform::DevNode;
using platform::sim::SimBus;
using vesko::fuzz::InputCursor;
using vesko::fuzz::kPieceCount;
using vesko::fuzz::kPieces;

constexpr std::size_t kLongestText = 1100;  // beyond every buffer of the seam

// A text: a count, then that many pieces. A byte below the piece count is
// that piece; 0xFE doubles the text so far (over-long texts come cheap);
// 0xFF is a raw unit from the next two bytes; anything else is itself.
std::u16string text(InputCursor& in) {
    std::u16string out;
    const std::size_t pieces = in.byte() % 24;
    for (std::size_t i = 0; i < pieces && out.size() < kLongestText; ++i) {
        const std::uint8_t b = in.byte();
        if (b < kPieceCount) {
            out += kPieces[b];
        } else if (b == fuzz::kDoubleText) {
            out += std::u16string(out);
        } else if (b == fuzz::kRawUnit) {
            out.push_back(static_cast<char16_t>(in.u16()));
        } else {
            out.push_back(static_cast<char16_t>(b));
        }
    }
    if (out.size() > kLongestText) out.resize(kLongestText);
    return out;
}

std::optional<DevNode> some_node(InputCursor& in, const SimBus& bus) {
    const std::uint8_t b = in.byte();
    if (b == 0) return std::nullopt;
    if (b == 0xFF) return static_cast<DevNode>(in.u32());  // anything, dangling most likely
    // Mostly a node that exists, sometimes one a few places past the last.
    return static_cast<DevNode>(1 + (b - 1) % (bus.node_count() + 4));
}

std::vector<std::u16string> more_paths(InputCursor& in) {
    std::vector<std::u16string> out(in.byte() % 3);
    for (auto& p : out) p = text(in);
    return out;
}

void build(InputCursor& in, SimBus& bus, std::vector<std::size_t>& interfaces) {
    for (int step = 0; step < 48 && !in.done(); ++step) {
        switch (in.byte() % 8) {
            case 0: {
                const auto parent = some_node(in, bus);
                simulator::add_hub(bus, parent, text(in));
                break;
            }
            case 1: {
                const auto hub = some_node(in, bus);
                const std::u16string location = text(in);
                simulator::add_mcu(bus, hub, location, more_paths(in));
                break;
            }
            case 2: {
                simulator::SimModuleConfig config;
                config.serial = text(in);
                config.hub = some_node(in, bus);
                config.location = text(in);
                const std::uint8_t flags = in.byte();
                if (flags & 0x01) config.vendor_id = in.u16();
                if (flags & 0x02) config.product_id = in.u16();
                config.second_interface = (flags & 0x04) == 0;
                config.lower_case_hex = (flags & 0x08) != 0;
                config.upper_case_path = (flags & 0x10) != 0;
                config.detail_read_fails = (flags & 0x20) != 0;
                if (flags & 0x40) config.more_location_paths = more_paths(in);
                const auto module = simulator::add_module(bus, config);
                interfaces.push_back(module.hid_interface);
                if (module.second_hid_interface) interfaces.push_back(*module.second_hid_interface);
                break;
            }
            case 3: {
                platform::sim::SimNode node;
                node.parent = some_node(in, bus);
                node.instance_id = text(in);
                const std::uint8_t flags = in.byte();
                if (flags & 0x01) node.location_paths = text(in);
                node.present = (flags & 0x02) == 0;
                node.parent_query_fails = (flags & 0x04) != 0;
                node.id_query_fails = (flags & 0x08) != 0;
                bus.add_node(std::move(node));
                break;
            }
            case 4: {
                platform::sim::SimHidInterface iface;
                iface.path = text(in);
                iface.node = some_node(in, bus).value_or(0);
                const std::uint8_t flags = in.byte();
                iface.detail_ok = (flags & 0x01) == 0;
                iface.open_fails = (flags & 0x02) != 0;
                if ((flags & 0x04) == 0) {
                    iface.attributes = platform::HidAttributes{0x28DE, 0x2300, 0x0100};
                    if (flags & 0x08) iface.attributes->product_id = in.u16();
                }
                iface.serial = text(in);
                interfaces.push_back(bus.add_hid_interface(std::move(iface)));
                break;
            }
            case 5: {
                const auto node = some_node(in, bus);
                bus.set_node_present(node.value_or(0), in.flag());
                break;
            }
            case 6: {
                const std::size_t which = in.byte();
                const bool present = in.flag();
                if (!interfaces.empty()) bus.set_interface_present(interfaces[which % interfaces.size()], present);
                break;
            }
            default: {
                // A module's interface taken by another process.
                platform::sim::SimHidInterface iface;
                iface.path = u"\\\\?\\hid#vid_28de&pid_2300&mi_00#" + text(in);
                iface.node = some_node(in, bus).value_or(0);
                iface.open_fails = true;
                iface.attributes = platform::HidAttributes{0x28DE, 0x2300, 0x0100};
                interfaces.push_back(bus.add_hid_interface(std::move(iface)));
                break;
            }
        }
    }
}

// The hubs of a location path are cuts of it at its hops.
void check_hubs(std::u16string_view location) {
    const std::vector<std::u16string> hubs = hub_ancestors(location);
    FUZZ_CHECK(hubs.size() <= 2);
    std::size_t previous = location.size();
    for (const std::u16string& hub : hubs) {
        FUZZ_CHECK(hub.size() < previous);
        FUZZ_CHECK(location.substr(0, hub.size()) == hub);
        FUZZ_CHECK(location.substr(hub.size(), kUsbHop.size()) == kUsbHop);
        previous = hub.size();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputCursor in(data, size);
    const std::uint8_t options = in.byte();
    const std::u16string requested = text(in);
    SimBus bus;
    std::vector<std::size_t> interfaces;
    build(in, bus, interfaces);
    bus.set_interface_set_fails((options & 0x01) != 0);
    bus.set_node_sets_fail((options & 0x02) != 0);
    const bool verbose = (options & 0x04) != 0;

    // The device-tree queries alone, on every node: bounded walks, hubs cut
    // where the hops are.
    for (DevNode node = 1; node <= bus.node_count() + 1; ++node) {
        DevNode found = 0;
        (void)find_usb_device_ancestor(bus, node, kModuleUsbIdPrefix, found);
        if (const auto id = read_instance_id_upper(bus, node)) FUZZ_CHECK(id->size() <= platform::kDeviceIdUnits);
        const std::u16string location = read_location_path(bus, node);
        FUZZ_CHECK(location.size() <= platform::kLocationPathsUnits);
        check_hubs(location);
    }
    for (const std::u16string& mcu : collect_mcu_locations(bus)) FUZZ_CHECK(!mcu.empty());

    const OutputStreams quiet{fuzz::null_stream(), fuzz::null_stream()};
    const std::u16string untouched = u"(untouched)";
    std::u16string serial = untouched;
    const platform::Handle device = open_imu_device(bus, requested, &serial, verbose, quiet);

    FUZZ_CHECK(bus.bad_close_count() == 0);
    if (device == platform::kInvalidHandle) {
        FUZZ_CHECK(bus.open_handle_count() == 0);
        FUZZ_CHECK(serial == untouched);
        return 0;
    }
    FUZZ_CHECK(bus.open_handle_count() == 1);
    if (!requested.empty()) FUZZ_CHECK(serial == requested);

    // The handle is one the bus opened for an interface 00 of the module.
    std::optional<std::u16string> path;
    for (const platform::sim::BusEvent& e : bus.events()) {
        if (e.kind == platform::sim::BusEvent::Kind::Open && e.handle == device) path = e.path;
    }
    FUZZ_CHECK(path.has_value());
    FUZZ_CHECK(platform::ascii_lower(*path).find(u"&mi_00") != std::u16string::npos);
    const auto attributes = bus.attributes(device);
    FUZZ_CHECK(attributes && attributes->vendor_id == 0x28DE && attributes->product_id == 0x2300);

    bus.close(device);
    FUZZ_CHECK(bus.open_handle_count() == 0 && bus.bad_close_count() == 0);
    return 0;
}
