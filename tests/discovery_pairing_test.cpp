// Whether a tracking module shares a hub with a headset MCU: the cut-back of
// location paths, the walk up the device tree, and the reading of platform
// buffers that may lack their NUL.
#include <gtest/gtest.h>

#include "discovery/device_tree.h"
#include "discovery/hub_ancestors.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"

namespace vesko {
namespace {

using platform::sim::SimBus;
using platform::sim::SimNode;
using Texts = std::vector<std::u16string>;

const std::u16string kRoot = u"PCIROOT(0)#PCI(1400)#USBROOT(0)";

TEST(HubAncestors, CutsBackAtMostTwoHopsNearestFirst) {
    EXPECT_EQ(hub_ancestors(u"P#USB(1)#USB(2)#USB(3)"), (Texts{u"P#USB(1)#USB(2)", u"P#USB(1)"}));
    EXPECT_EQ(hub_ancestors(u"P#USB(1)"), (Texts{u"P"}));
    EXPECT_EQ(hub_ancestors(u"PCIROOT(0)#PCI(1400)#USBROOT(0)"), Texts{});
    EXPECT_EQ(hub_ancestors(u"#USB(4)"), (Texts{u""}));
}

TEST(HubAncestors, OnlyTheExactHopTextCuts) {
    EXPECT_EQ(hub_ancestors(u"P#usb(1)#usb(2)"), Texts{});
    EXPECT_EQ(hub_ancestors(u"X#USBR(0)#USB(3)"), (Texts{u"X#USBR(0)"}));
}

SimNode node(std::optional<platform::DevNode> parent, std::u16string id,
             std::optional<std::u16string> location = std::nullopt) {
    SimNode n;
    n.parent = parent;
    n.instance_id = std::move(id);
    n.location_paths = std::move(location);
    return n;
}

TEST(UsbDeviceAncestor, PassesOverInterfaceNodesAndNeverTestsTheStartNode) {
    SimBus bus;
    const auto usb = bus.add_node(node(std::nullopt, u"USB\\VID_28DE&PID_2300\\KVR-1"));
    const auto mi = bus.add_node(node(usb, u"USB\\VID_28DE&PID_2300&MI_00\\7&1&0&0000"));
    // The start node itself carries the module's prefix: it must not count.
    const auto start = bus.add_node(node(mi, u"USB\\VID_28DE&PID_2300\\SELF"));
    platform::DevNode found = 0;
    ASSERT_TRUE(find_usb_device_ancestor(bus, start, kModuleUsbIdPrefix, found));
    EXPECT_EQ(found, usb);
    EXPECT_FALSE(find_usb_device_ancestor(bus, usb, kModuleUsbIdPrefix, found));  // at the root
}

TEST(UsbDeviceAncestor, GivesUpAfterSixLevels) {
    for (int depth : {6, 7}) {
        SimBus bus;
        const auto usb = bus.add_node(node(std::nullopt, u"usb\\vid_28de&pid_2300\\kvr-1"));
        platform::DevNode current = usb;
        for (int i = 1; i < depth; ++i)
            current = bus.add_node(node(current, u"HID\\OTHER\\" + std::u16string(1, u'0' + i)));
        const auto start = bus.add_node(node(current, u"HID\\START"));
        platform::DevNode found = 0;
        EXPECT_EQ(find_usb_device_ancestor(bus, start, kModuleUsbIdPrefix, found), depth == 6) << depth;
    }
}

TEST(UsbDeviceAncestor, AFailedQueryEndsTheWalk) {
    SimBus bus;
    const auto usb = bus.add_node(node(std::nullopt, u"USB\\VID_28DE&PID_2300\\KVR-1"));
    SimNode broken = node(usb, u"USB\\VID_28DE&PID_2300&MI_00\\X");
    broken.id_query_fails = true;
    const auto mi = bus.add_node(broken);
    const auto start = bus.add_node(node(mi, u"HID\\START"));
    platform::DevNode found = 0;
    EXPECT_FALSE(find_usb_device_ancestor(bus, start, kModuleUsbIdPrefix, found));
}

TEST(PlatformBuffers, TextsWithoutTheirNulStayWithinTheBuffer) {
    SimBus bus;
    // An instance ID that fills all 200 units comes back without a NUL.
    std::u16string long_id = u"USB\\VID_28DE&PID_2300\\";
    long_id.resize(platform::kDeviceIdUnits, u'a');
    const auto usb = bus.add_node(node(std::nullopt, long_id));
    const auto id = read_instance_id_upper(bus, usb);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->size(), platform::kDeviceIdUnits);
    EXPECT_EQ(id->back(), u'A');

    // A location-paths value that fills its 512 units with no NUL at all.
    const std::u16string full(platform::kLocationPathsUnits, u'#');
    const auto hub = bus.add_node(node(std::nullopt, u"USB\\HUB\\1", full));
    EXPECT_EQ(read_location_path(bus, hub), full);
    // One unit more does not fit: no location path.
    const auto big = bus.add_node(node(std::nullopt, u"USB\\HUB\\2", full + u"#"));
    EXPECT_EQ(read_location_path(bus, big), u"");
    // Only the first entry of the list counts.
    const auto two = bus.add_node(node(std::nullopt, u"USB\\HUB\\3", simulator::location_value({u"A#USB(1)", u"B"})));
    EXPECT_EQ(read_location_path(bus, two), u"A#USB(1)");
}

TEST(McuLocations, SkipsInterfaceNodesAndNodesWithoutAPath) {
    SimBus bus;
    bus.add_node(
        node(std::nullopt, u"USB\\VID_35BD&PID_0101&MI_00\\7&1", simulator::location_value({kRoot + u"#USB(9)"})));
    bus.add_node(node(std::nullopt, u"usb\\vid_35bd&pid_0101\\6&2"));  // no location property
    bus.add_node(node(std::nullopt, u"usb\\vid_35bd&pid_0101\\6&3", simulator::location_value({kRoot + u"#USB(4)"})));
    simulator::add_mcu(bus, std::nullopt, kRoot + u"#USB(5)");
    EXPECT_EQ(collect_mcu_locations(bus), (Texts{kRoot + u"#USB(4)", kRoot + u"#USB(5)"}));
    bus.set_node_sets_fail(true);
    EXPECT_EQ(collect_mcu_locations(bus), Texts{});
}

// A module at `module_path` and one MCU at `mcu_path`: paired?
bool paired(const std::u16string& module_path, const std::u16string& mcu_path, bool lower_case_hex = false) {
    SimBus bus;
    simulator::add_mcu(bus, std::nullopt, mcu_path);
    simulator::SimModuleConfig config;
    config.serial = u"KVR-1";
    config.location = module_path;
    config.lower_case_hex = lower_case_hex;
    const auto module = simulator::add_module(bus, config);
    return is_mcu_paired(bus, module.hid_node, collect_mcu_locations(bus));
}

TEST(McuPairing, SharedHubWithinTwoHopsOfEach) {
    const std::u16string hub = kRoot + u"#USB(1)";
    EXPECT_TRUE(paired(hub + u"#USB(2)", hub + u"#USB(3)"));                // one hub, two ports
    EXPECT_TRUE(paired(hub + u"#USB(2)", hub + u"#USB(4)#USB(1)"));         // MCU one hub deeper
    EXPECT_TRUE(paired(hub + u"#USB(4)#USB(1)", hub + u"#USB(2)"));         // module one hub deeper
    EXPECT_TRUE(paired(hub + u"#USB(4)#USB(1)", hub + u"#USB(3)#USB(2)"));  // both two below one hub
    EXPECT_TRUE(paired(hub + u"#USB(2)", hub + u"#USB(3)", true));          // lower-case hex in IDs
}

TEST(McuPairing, CommonAncestorThreeHopsUpDoesNotCount) {
    const std::u16string hub = kRoot + u"#USB(1)";
    // The MCU's own parent hub is three hops above the module.
    EXPECT_FALSE(paired(hub + u"#USB(2)#USB(3)#USB(1)", hub + u"#USB(5)"));
    EXPECT_FALSE(paired(hub + u"#USB(5)", hub + u"#USB(2)#USB(3)#USB(1)"));
}

TEST(McuPairing, NoHopNoLocationNoPairing) {
    EXPECT_FALSE(paired(kRoot, kRoot));  // no "#USB(" hop at all
    EXPECT_FALSE(paired(u"", kRoot + u"#USB(1)"));

    SimBus bus;
    simulator::SimModuleConfig config;
    config.location = kRoot + u"#USB(1)";
    const auto module = simulator::add_module(bus, config);
    EXPECT_FALSE(is_mcu_paired(bus, module.hid_node, {u"", kRoot + u"#USB(7)#USB(1)#USB(1)"}));
    EXPECT_TRUE(is_mcu_paired(bus, module.hid_node, {u"", kRoot + u"#USB(7)#USB(1)", kRoot + u"#USB(2)"}));
}

}  // namespace
}  // namespace vesko
