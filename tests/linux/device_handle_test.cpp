#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "bench_tree.h"
#include "platform/device_text.h"
#include "platform/linux/linux_platform.h"
#include "pty_node.h"

namespace vesko::platform::linux_hid {
namespace {

using testing::BenchTree;

class DeviceHandleTest : public ::testing::Test {
protected:
    BenchTree bench;
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev()};

    Handle open(const char16_t* path) {
        const Handle handle = platform.open_device(path);
        if (handle != kInvalidHandle) {
            opened.insert(handle);
        }
        return handle;
    }
    void TearDown() override {
        for (Handle handle : opened) {
            platform.close(handle);
        }
    }
    std::set<Handle> opened;
};

TEST_F(DeviceHandleTest, EnumeratedPathOpensAndNamesItsModule) {
    const auto list = platform.hid_interfaces();
    ASSERT_TRUE(list.has_value() && list->size() == 5u);
    const Handle handle = open(list->front().path.c_str());
    ASSERT_NE(handle, kInvalidHandle);
    ASSERT_NE(handle, kNoHandle);

    const auto attributes = platform.attributes(handle);
    ASSERT_TRUE(attributes.has_value());
    EXPECT_EQ(attributes->vendor_id, 0x28DE);
    EXPECT_EQ(attributes->product_id, 0x2300);
    EXPECT_EQ(attributes->version_number, 0x0102);

    const std::u16string serial = platform.serial_number(handle);
    ASSERT_EQ(serial.size(), kSerialNumberUnits);
    EXPECT_EQ(up_to_nul(serial), u"KVR-A1");
    EXPECT_EQ(serial.find_first_not_of(u'\0', 6), std::u16string::npos);  // zero-filled after it
}

// A string descriptor carries at most 126 characters: the longest serial
// the kernel can give still leaves room for the buffer's NUL.
TEST_F(DeviceHandleTest, LongestSerialFitsWithItsNul) {
    const Handle handle = open(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw2");
    ASSERT_NE(handle, kInvalidHandle);
    const std::u16string serial = platform.serial_number(handle);
    ASSERT_EQ(serial.size(), kSerialNumberUnits);
    EXPECT_EQ(serial, std::u16string(126, u'S') + std::u16string(2, u'\0'));
}

TEST_F(DeviceHandleTest, SerialIsDecodedFromUtf8OrZeroWhenAbsent) {
    testing::FakeSystem::write(bench.module_a / "serial", "KVR-\xC3\x84\xF0\x9F\x98\x80\n");
    const Handle handle = open(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw0");
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_EQ(up_to_nul(platform.serial_number(handle)), u"KVR-\u00C4\U0001F600");

    std::filesystem::remove(bench.module_a / "serial");
    EXPECT_EQ(platform.serial_number(handle), std::u16string(kSerialNumberUnits, u'\0'));
    EXPECT_TRUE(platform.attributes(handle).has_value());  // the rest still answers
}

TEST_F(DeviceHandleTest, PathsThatNameNoHidrawNodeDoNotOpen) {
    EXPECT_EQ(open(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw9"), kInvalidHandle);  // no such node
    EXPECT_EQ(open(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#../hidraw0"), kInvalidHandle);
    EXPECT_EQ(open(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw"), kInvalidHandle);
    EXPECT_EQ(open(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw0x"), kInvalidHandle);
    EXPECT_EQ(open(u""), kInvalidHandle);
    // Letter case of the path does not matter, as on Windows.
    EXPECT_NE(open(u"\\\\?\\HID#VID_28DE&PID_2300&MI_00#HIDRAW0"), kInvalidHandle);
}

TEST_F(DeviceHandleTest, ClosedAndUnknownHandlesAnswerNothing) {
    const Handle handle = open(u"#hidraw0");
    ASSERT_NE(handle, kInvalidHandle);
    platform.close(handle);
    opened.erase(handle);
    EXPECT_FALSE(platform.attributes(handle).has_value());
    EXPECT_EQ(platform.serial_number(handle), std::u16string(kSerialNumberUnits, u'\0'));
    EXPECT_FALSE(platform.attributes(kInvalidHandle).has_value());
    platform.close(handle);  // twice: harmless
    platform.close(kNoHandle);

    // A handle value is never handed out twice.
    const Handle again = open(u"#hidraw0");
    EXPECT_NE(again, handle);
}

TEST_F(DeviceHandleTest, HidrawNodeWhoseDeviceLeftSysfsHasNoAttributes) {
    const Handle handle = open(u"#hidraw1");
    ASSERT_NE(handle, kInvalidHandle);
    std::filesystem::remove_all(bench.module_a / "1-2.3:1.1" / "0003:28DE:2300.0002");
    EXPECT_FALSE(platform.attributes(handle).has_value());
    EXPECT_EQ(platform.serial_number(handle), std::u16string(kSerialNumberUnits, u'\0'));
}

TEST_F(DeviceHandleTest, CharacterNodeMustBeTheOneSysfsDescribes) {
    testing::PtyNode node(bench.fake.dev() / "hidraw0");
    if (!node.ok()) {
        GTEST_SKIP() << "no pseudo-terminal available to stand in for a hidraw node";
    }
    const Handle handle = open(u"#hidraw0");
    ASSERT_NE(handle, kInvalidHandle);
    // The hidraw number went to another device since the node was opened.
    testing::FakeSystem::write(bench.fake.sys() / "class/hidraw/hidraw0/dev", "244:99\n");
    EXPECT_FALSE(platform.attributes(handle).has_value());
    EXPECT_EQ(platform.serial_number(handle), std::u16string(kSerialNumberUnits, u'\0'));

    testing::FakeSystem::write(bench.fake.sys() / "class/hidraw/hidraw0/dev", node.dev_numbers() + "\n");
    ASSERT_TRUE(platform.attributes(handle).has_value());
    EXPECT_EQ(up_to_nul(platform.serial_number(handle)), u"KVR-A1");
}

}  // namespace
}  // namespace vesko::platform::linux_hid
