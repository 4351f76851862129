// The device-tree and HID queries against the system the tests run on. A
// test machine has no tracking module; what is checked is that the calls are
// made and answered, and that their results keep their promises.

#include "platform/native_platform.h"
#include "platform/win32/win32_platform.h"
#include "pipe_module.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cfgmgr32.h>

namespace vesko::platform {
namespace {

// Wine lists HID interfaces but keeps no device tree behind them: its
// configuration manager answers no query about a node. The tree tests then
// have nothing to look at.
constexpr const char* kNoDeviceTree = "this system answers no device-tree query (as under wine)";

TEST(Win32System, TheNativePlatformIsTheWin32One) {
    const auto platform = make_native_platform();
    ASSERT_NE(platform, nullptr);
    EXPECT_NE(dynamic_cast<Win32Platform*>(platform.get()), nullptr);
}

TEST(Win32System, TheHidInterfacesAreListed) {
    Win32Platform platform;
    (void)platform.hid_interfaces();  // whatever the system loads once, it has loaded
    const unsigned long before = testing::process_handle_count();
    const auto interfaces = platform.hid_interfaces();
    ASSERT_TRUE(interfaces.has_value());
    for (const HidInterfaceDetail& detail : *interfaces) {
        if (detail.ok) {
            EXPECT_FALSE(detail.path.empty());
            EXPECT_EQ(detail.path.find(u'\0'), std::u16string::npos);
        }
    }
    if (before != 0) {
        EXPECT_EQ(testing::process_handle_count(), before) << "the device-information set was not released";
    }
}

TEST(Win32System, NoMcuUnderAnEnumeratorThatNoDeviceHas) {
    Win32Platform platform;
    const auto nodes = platform.nodes_under_enumerator(u"USB\\VID_0000&PID_0000");
    // Either an empty set or none at all: never a node.
    EXPECT_TRUE(!nodes.has_value() || nodes->empty());
}

TEST(Win32System, TheMcuEnumeratorIsAccepted) {
    Win32Platform platform;
    const auto nodes = platform.nodes_under_enumerator(u"USB\\VID_35BD&PID_0101");
    ASSERT_TRUE(nodes.has_value());
    for (const DevNode node : *nodes) {
        const auto id = platform.device_instance_id(node);
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(id->rfind(u"USB\\VID_35BD&PID_0101", 0), 0u);
    }
}

TEST(Win32System, TheRootHasAnIdAndNoParent) {
    DEVINST root = 0;
    if (CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
        GTEST_SKIP() << kNoDeviceTree;
    }
    Win32Platform platform;
    const auto id = platform.device_instance_id(root);
    ASSERT_TRUE(id.has_value());
    EXPECT_FALSE(id->empty());
    EXPECT_EQ(id->find(u'\0'), std::u16string::npos);
    EXPECT_LE(id->size(), kDeviceIdUnits);
    EXPECT_FALSE(platform.parent(root).has_value());
}

TEST(Win32System, EveryHidInterfaceNodeLeadsUpToTheRoot) {
    Win32Platform platform;
    const auto interfaces = platform.hid_interfaces();
    ASSERT_TRUE(interfaces.has_value());
    std::size_t walked = 0;
    for (const HidInterfaceDetail& detail : *interfaces) {
        if (!detail.ok || !platform.device_instance_id(detail.node).has_value()) {
            continue;
        }
        DevNode node = detail.node;
        bool reached_root = false;
        for (int level = 0; level < 64 && !reached_root; ++level) {
            const auto id = platform.device_instance_id(node);
            ASSERT_TRUE(id.has_value()) << "a parent without an ID";
            EXPECT_LE(id->size(), kDeviceIdUnits);
            const auto paths = platform.location_paths(node);
            if (paths.has_value()) {
                EXPECT_LE(paths->size(), kLocationPathsUnits);
            }
            const auto up = platform.parent(node);
            reached_root = !up.has_value();
            if (up.has_value()) {
                node = *up;
            }
        }
        EXPECT_TRUE(reached_root);
        ++walked;
    }
    if (walked == 0) {
        GTEST_SKIP() << kNoDeviceTree;
    }
}

TEST(Win32System, TheHidInterfacesOpenAndAnswerTheHidQueries) {
    // Under wine: its virtual mouse and keyboard. On a desktop: whatever HID
    // devices are plugged in. Those that cannot be shared (keyboards on
    // Windows) are not opened; every other must answer.
    Win32Platform platform;
    const auto interfaces = platform.hid_interfaces();
    ASSERT_TRUE(interfaces.has_value());
    std::size_t opened = 0;
    for (const HidInterfaceDetail& detail : *interfaces) {
        if (!detail.ok) {
            continue;
        }
        const Handle device = platform.open_device(detail.path);
        if (device == kInvalidHandle) {
            continue;
        }
        ++opened;
        const auto attributes = platform.attributes(device);
        EXPECT_TRUE(attributes.has_value());
        EXPECT_EQ(platform.serial_number(device).size(), kSerialNumberUnits);
        platform.close(device);
    }
    if (opened == 0) {
        GTEST_SKIP() << "no HID interface could be opened here";
    }
}

TEST(Win32System, AnUnknownNodeFailsEveryQuery) {
    Win32Platform platform;
    const DevNode bogus = 0x7FFFFFF0u;
    EXPECT_FALSE(platform.parent(bogus).has_value());
    EXPECT_FALSE(platform.device_instance_id(bogus).has_value());
    EXPECT_FALSE(platform.location_paths(bogus).has_value());
}

}  // namespace
}  // namespace vesko::platform
