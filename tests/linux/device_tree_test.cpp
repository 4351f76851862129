#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_tree.h"
#include "platform/device_text.h"
#include "platform/linux/linux_platform.h"

namespace vesko::platform::linux_hid {
namespace {

using testing::BenchTree;

std::string text_of(const std::optional<std::u16string>& units) {
    return units ? narrow(*units) : std::string("<none>");
}

class DeviceTreeTest : public ::testing::Test {
protected:
    BenchTree bench;
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev()};

    std::vector<HidInterfaceDetail> interfaces() {
        auto list = platform.hid_interfaces();
        EXPECT_TRUE(list.has_value());
        return list.value_or(std::vector<HidInterfaceDetail>{});
    }

    std::vector<std::string> ids_of(const std::vector<DevNode>& nodes) {
        std::vector<std::string> ids;
        for (DevNode node : nodes) {
            ids.push_back(std::string(narrow(up_to_nul(platform.device_instance_id(node).value_or(u"")))));
        }
        return ids;
    }

    // Instance IDs from `node` up to the root, without their NULs.
    std::vector<std::string> chain(DevNode node) {
        std::vector<std::string> ids;
        std::optional<DevNode> current = node;
        for (int guard = 0; current && guard < 10; ++guard) {
            ids.push_back(std::string(narrow(up_to_nul(platform.device_instance_id(*current).value_or(u"?")))));
            current = platform.parent(*current);
        }
        return ids;
    }
};

TEST_F(DeviceTreeTest, HidInterfacesCarryInterfaceNumberAndHidrawNode) {
    const auto list = interfaces();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(narrow(list[0].path), "\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw0");
    EXPECT_EQ(narrow(list[1].path), "\\\\?\\hid#vid_28de&pid_2300&mi_01#hidraw1");
    EXPECT_EQ(narrow(list[2].path), "\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw2");
    EXPECT_EQ(narrow(list[3].path), "\\\\?\\hid#vid_28de&pid_2300&mi_01#hidraw3");
    EXPECT_EQ(narrow(list[4].path), "\\\\?\\hid#vid_35bd&pid_0101#hidraw4");  // the MCU's own
    for (const auto& detail : list) {
        EXPECT_TRUE(detail.ok);
        EXPECT_NE(detail.node, 0u);
    }
    EXPECT_NE(list[0].node, list[1].node);
}

TEST_F(DeviceTreeTest, ASingleInterfaceDeviceHasNoInterfaceNodeAndNoMiPart) {
    const auto device = bench.fake.add_usb_device(bench.root2, 2, "2", "1234", "5678", "K-1");
    bench.fake.add_hidraw(bench.fake.add_interface(device, 0), "0003:1234:5678.0009", 7);
    const auto list = interfaces();
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(narrow(list[5].path), "\\\\?\\hid#vid_1234&pid_5678#hidraw7");
    EXPECT_EQ(chain(list[5].node), (std::vector<std::string>{"HID\\VID_1234&PID_5678\\0003:1234:5678.0009",
                                                             "USB\\VID_1234&PID_5678\\K-1", "USB\\ROOT_HUB\\USB2"}));
}

TEST_F(DeviceTreeTest, ParentsLeadFromHidDeviceThroughInterfaceAndHubsToRootHub) {
    const auto list = interfaces();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(chain(list[0].node), (std::vector<std::string>{
                                       "HID\\VID_28DE&PID_2300&MI_00\\0003:28DE:2300.0001",
                                       "USB\\VID_28DE&PID_2300&MI_00\\1-2.3:1.0",
                                       "USB\\VID_28DE&PID_2300\\KVR-A1",
                                       "USB\\VID_05E3&PID_0610\\1-2",  // a hub without serial: its port
                                       "USB\\ROOT_HUB\\USB1",
                                   }));
    // The longest serial a string descriptor carries still names the device.
    EXPECT_EQ(chain(list[3].node), (std::vector<std::string>{
                                       "HID\\VID_28DE&PID_2300&MI_01\\0003:28DE:2300.0004",
                                       "USB\\VID_28DE&PID_2300&MI_01\\2-1:1.1",
                                       "USB\\VID_28DE&PID_2300\\" + bench.long_serial,
                                       "USB\\ROOT_HUB\\USB2",
                                   }));
    // The MCU has one interface: its HID device hangs off the device node.
    EXPECT_EQ(chain(list[4].node), (std::vector<std::string>{
                                       "HID\\VID_35BD&PID_0101\\0003:35BD:0101.0005",
                                       "USB\\VID_35BD&PID_0101\\MCU-1",
                                       "USB\\VID_05E3&PID_0610\\1-2",
                                       "USB\\ROOT_HUB\\USB1",
                                   }));
}

TEST_F(DeviceTreeTest, InstanceIdsAreNulTerminatedWithinTheirBuffer) {
    const auto list = interfaces();
    ASSERT_FALSE(list.empty());
    const auto id = platform.device_instance_id(list[0].node);
    ASSERT_TRUE(id.has_value());
    EXPECT_LE(id->size(), kDeviceIdUnits);
    EXPECT_EQ(id->back(), u'\0');
    EXPECT_FALSE(platform.device_instance_id(0).has_value());
    EXPECT_FALSE(platform.device_instance_id(99999).has_value());
    EXPECT_FALSE(platform.parent(99999).has_value());
}

TEST_F(DeviceTreeTest, LocationPathsFollowBusAndPortChain) {
    const auto list = interfaces();
    ASSERT_EQ(list.size(), 5u);
    const DevNode hid = list[0].node;
    const DevNode interface = platform.parent(hid).value_or(0);
    const DevNode module = platform.parent(interface).value_or(0);
    const DevNode hub = platform.parent(module).value_or(0);
    const DevNode root = platform.parent(hub).value_or(0);

    using namespace std::string_literals;
    EXPECT_EQ(text_of(platform.location_paths(module)), "USBROOT(1)#USB(2)#USB(3)\0\0"s);
    EXPECT_EQ(text_of(platform.location_paths(hub)), "USBROOT(1)#USB(2)\0\0"s);
    EXPECT_EQ(text_of(platform.location_paths(root)), "USBROOT(1)\0\0"s);
    EXPECT_EQ(text_of(platform.location_paths(interface)), "USBROOT(1)#USB(2)#USB(3)#USBMI(0)\0\0"s);
    EXPECT_FALSE(platform.location_paths(hid).has_value());  // HID collections have none

    const DevNode module_b = platform.parent(platform.parent(list[2].node).value_or(0)).value_or(0);
    EXPECT_EQ(text_of(platform.location_paths(module_b)), "USBROOT(2)#USB(1)\0\0"s);
}

TEST_F(DeviceTreeTest, NodesUnderEnumeratorMatchVendorAndProductInAnyCase) {
    const auto mcus = platform.nodes_under_enumerator(u"USB\\VID_35BD&PID_0101");
    ASSERT_TRUE(mcus.has_value());
    EXPECT_EQ(ids_of(*mcus),
              (std::vector<std::string>{"USB\\VID_35BD&PID_0101\\MCU-1", "USB\\VID_35BD&PID_0101&MI_00\\1-2.4:1.0"}));
    using namespace std::string_literals;
    EXPECT_EQ(text_of(platform.location_paths(mcus->front())), "USBROOT(1)#USB(2)#USB(4)\0\0"s);

    const auto lower = platform.nodes_under_enumerator(u"usb\\vid_35bd&pid_0101");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(*lower, *mcus);

    const auto modules = platform.nodes_under_enumerator(u"USB\\VID_28DE&PID_2300");
    ASSERT_TRUE(modules.has_value());
    EXPECT_EQ(modules->size(), 6u);  // two devices, four interfaces

    // Each root hub once, with its hub interface below it (as every hub has).
    const auto roots = platform.nodes_under_enumerator(u"USB\\ROOT_HUB");
    ASSERT_TRUE(roots.has_value());
    ASSERT_EQ(ids_of(*roots), (std::vector<std::string>{"USB\\ROOT_HUB\\USB1", "USB\\ROOT_HUB\\USB2"}));
    const auto root_interfaces = platform.nodes_under_enumerator(u"USB\\VID_1D6B&PID_0002");
    ASSERT_TRUE(root_interfaces.has_value());
    EXPECT_EQ(ids_of(*root_interfaces), (std::vector<std::string>{"USB\\VID_1D6B&PID_0002&MI_00\\1-0:1.0",
                                                                  "USB\\VID_1D6B&PID_0002&MI_00\\2-0:1.0"}));
    EXPECT_EQ(platform.parent(root_interfaces->back()), roots->back());

    // The enumerator ends at a separator: a shorter product is no prefix match.
    EXPECT_EQ(platform.nodes_under_enumerator(u"USB\\VID_35BD&PID_01").value_or(std::vector<DevNode>{1}).size(), 0u);
    EXPECT_TRUE(platform.nodes_under_enumerator(u"USB\\VID_1234&PID_5678").value().empty());
}

TEST_F(DeviceTreeTest, NodeIdsSurviveRescanAndFailOnceTheDeviceIsGone) {
    const auto before = platform.nodes_under_enumerator(u"USB\\VID_35BD&PID_0101");
    ASSERT_TRUE(before.has_value() && !before->empty());
    const DevNode mcu = before->front();
    const auto list = interfaces();  // a rescan
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(narrow(up_to_nul(platform.device_instance_id(mcu).value_or(u""))), "USB\\VID_35BD&PID_0101\\MCU-1");

    std::filesystem::remove_all(bench.mcu);
    std::filesystem::remove(bench.fake.sys() / "bus/usb/devices/1-2.4");
    std::filesystem::remove(bench.fake.sys() / "bus/usb/devices/1-2.4:1.0");
    EXPECT_TRUE(platform.nodes_under_enumerator(u"USB\\VID_35BD&PID_0101").value().empty());
    EXPECT_FALSE(platform.device_instance_id(mcu).has_value());
    EXPECT_FALSE(platform.parent(mcu).has_value());
    EXPECT_EQ(platform.hid_interfaces().value().front().node, list.front().node);
}

// Plugged in again, the module's HID devices get new names (the kernel counts
// them on with every plug) on the hidraw numbers it gave out before: a new
// node each, and the old nodes stay gone.
TEST_F(DeviceTreeTest, AReplugGivesNewHidDevicesOnTheSameHidrawNumbers) {
    const auto before = interfaces();
    ASSERT_EQ(before.size(), 5u);
    bench.fake.remove_usb_device(bench.module_a);
    ASSERT_EQ(interfaces().size(), 3u);
    EXPECT_FALSE(platform.device_instance_id(before[0].node).has_value());

    const auto module = bench.fake.add_usb_device(bench.hub, 1, "2.3", "28de", "2300", "KVR-A1");
    bench.fake.add_hidraw(bench.fake.add_interface(module, 0), "0003:28DE:2300.0006", 0);
    bench.fake.add_hidraw(bench.fake.add_interface(module, 1), "0003:28DE:2300.0007", 1);
    const auto after = interfaces();
    ASSERT_EQ(after.size(), 5u);
    EXPECT_EQ(after[0].path, before[0].path);
    EXPECT_NE(after[0].node, before[0].node);
    EXPECT_NE(after[1].node, before[1].node);
    EXPECT_EQ(chain(after[0].node).front(), "HID\\VID_28DE&PID_2300&MI_00\\0003:28DE:2300.0006");
    EXPECT_FALSE(platform.device_instance_id(before[0].node).has_value());
}

TEST(DeviceTreeFailures, UnreadableRootIsFailureAndEmptyTreeIsEmpty) {
    LinuxPlatform missing("/nonexistent/rotabench-sys", "/nonexistent/rotabench-dev");
    EXPECT_FALSE(missing.hid_interfaces().has_value());
    EXPECT_FALSE(missing.nodes_under_enumerator(u"USB\\VID_35BD&PID_0101").has_value());

    testing::FakeSystem empty;
    LinuxPlatform platform(empty.sys(), empty.dev());
    ASSERT_TRUE(platform.hid_interfaces().has_value());
    EXPECT_TRUE(platform.hid_interfaces()->empty());
}

TEST(DeviceTreeFailures, StaleHidrawEntryAndBrokenAttributesAreSkipped) {
    BenchTree bench;
    // hidraw1's HID device vanished while its class entry lingers.
    std::filesystem::remove_all(bench.module_a / "1-2.3:1.1" / "0003:28DE:2300.0002");
    // The hub's vendor file is unreadable garbage: the hub drops out, and the
    // module below it loses its parent but stays in the tree.
    testing::FakeSystem::write(bench.hub / "idVendor", "zz\n");
    LinuxPlatform platform(bench.fake.sys(), bench.fake.dev());
    const auto list = platform.hid_interfaces();
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 4u);
    EXPECT_EQ(narrow(list->at(1).path), "\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw2");
    const DevNode module = platform.parent(platform.parent(list->front().node).value_or(0)).value_or(0);
    EXPECT_EQ(narrow(up_to_nul(platform.device_instance_id(module).value_or(u""))), "USB\\VID_28DE&PID_2300\\KVR-A1");
    EXPECT_FALSE(platform.parent(module).has_value());
}

}  // namespace
}  // namespace vesko::platform::linux_hid
