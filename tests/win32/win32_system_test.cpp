// The device-tree and HID queries of the Windows backend against the
// scripted device stack (tests/win32/devstack), which this program runs
// under: the bench of devstack/cases/tree.toml, with the headset MCU on
// hub 1, module KVR-21A7C3 beside it and module KVR-30B118 two hubs down
// hub 3, each module with HID interfaces 00 and 01.

#include "pipe_module.h"
#include "platform/native_platform.h"
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <set>

namespace vesko::platform::win32 {
namespace {

TEST(Win32System, TheNativePlatformIsTheWin32One) {
    const auto platform = make_native_platform();
    ASSERT_NE(platform, nullptr);
    EXPECT_NE(dynamic_cast<Win32Platform*>(platform.get()), nullptr);
}

TEST(Win32System, TheHidInterfacesAreListedAndTheSetReleased) {
    Win32Platform platform;
    (void)platform.hid_interfaces();  // whatever the system loads once, it has loaded
    const unsigned long before = testing::process_handle_count();
    const auto interfaces = platform.hid_interfaces();
    ASSERT_TRUE(interfaces.has_value());
    ASSERT_EQ(interfaces->size(), 4u);
    for (const HidInterfaceDetail& detail : *interfaces) {
        EXPECT_TRUE(detail.ok);
        EXPECT_EQ(detail.path.rfind(u"\\\\.\\pipe\\hid#vid_28de&pid_2300&mi_0", 0), 0u);
        EXPECT_EQ(detail.path.find(u'\0'), std::u16string::npos);
    }
    EXPECT_EQ(testing::process_handle_count(), before) << "the device-information set was not released";
}

TEST(Win32System, TheMcuIsFoundUnderItsEnumeratorAndNothingUnderAnother) {
    Win32Platform platform;
    const auto none = platform.nodes_under_enumerator(u"USB\\VID_0000&PID_0000");
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());
    const auto nodes = platform.nodes_under_enumerator(u"USB\\VID_35BD&PID_0101");
    ASSERT_TRUE(nodes.has_value());
    ASSERT_EQ(nodes->size(), 1u);
    const auto id = platform.device_instance_id(nodes->front());
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->rfind(u"USB\\VID_35BD&PID_0101\\", 0), 0u);
    EXPECT_EQ(platform.location_paths(nodes->front()),
              std::u16string(u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(4)\0\0", 47));
}

TEST(Win32System, EveryHidInterfaceLeadsUpThroughItsModuleToTheRoot) {
    Win32Platform platform;
    const auto interfaces = platform.hid_interfaces();
    ASSERT_TRUE(interfaces.has_value());
    std::set<std::u16string> modules;
    for (const HidInterfaceDetail& detail : *interfaces) {
        DevNode node = detail.node;
        std::vector<std::u16string> ids;
        for (auto up = std::optional<DevNode>(node); up && ids.size() < 16; up = platform.parent(node)) {
            node = *up;
            const auto id = platform.device_instance_id(node);
            ASSERT_TRUE(id.has_value());
            ASSERT_FALSE(id->empty());
            EXPECT_EQ(id->find(u'\0'), std::u16string::npos);
            ids.push_back(*id);
        }
        // HID node, interface node, the module's USB node, hubs, the root hub.
        ASSERT_GE(ids.size(), 4u);
        EXPECT_EQ(ids[0].rfind(u"HID\\VID_28DE&PID_2300&MI_0", 0), 0u);
        EXPECT_EQ(ids[1].rfind(u"USB\\VID_28DE&PID_2300&MI_0", 0), 0u);
        EXPECT_EQ(ids[2].rfind(u"USB\\VID_28DE&PID_2300\\KVR-", 0), 0u);
        modules.insert(ids[2]);
        EXPECT_FALSE(platform.location_paths(detail.node).has_value()) << "a HID node has no location";
    }
    EXPECT_EQ(modules.size(), 2u);
}

TEST(Win32System, TheModulesOpenAndAnswerTheHidQueries) {
    Win32Platform platform;
    const auto interfaces = platform.hid_interfaces();
    ASSERT_TRUE(interfaces.has_value());
    std::set<std::u16string> serials;
    for (const HidInterfaceDetail& detail : *interfaces) {
        const Handle device = platform.open_device(detail.path);
        ASSERT_NE(device, kInvalidHandle);
        const auto attributes = platform.attributes(device);
        ASSERT_TRUE(attributes.has_value());
        EXPECT_EQ(attributes->vendor_id, 0x28DE);
        EXPECT_EQ(attributes->product_id, 0x2300);
        const std::u16string serial = platform.serial_number(device);
        ASSERT_EQ(serial.size(), kSerialNumberUnits);
        serials.insert(serial.substr(0, serial.find(u'\0')));
        platform.close(device);
    }
    EXPECT_EQ(serials, (std::set<std::u16string>{u"KVR-21A7C3", u"KVR-30B118"}));
}

TEST(Win32System, AnUnknownNodeFailsEveryQuery) {
    Win32Platform platform;
    const DevNode bogus = 0x7FFFFFF0u;
    EXPECT_FALSE(platform.parent(bogus).has_value());
    EXPECT_FALSE(platform.device_instance_id(bogus).has_value());
    EXPECT_FALSE(platform.location_paths(bogus).has_value());
}

}  // namespace
}  // namespace vesko::platform::win32
