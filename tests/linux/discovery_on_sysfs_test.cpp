// The portable discovery run against this backend on the fake bench: the
// module on the MCU's hub is the one chosen without a serial.

#include <gtest/gtest.h>

#include <string>

#include "bench_tree.h"
#include "discovery/device_tree.h"
#include "discovery/open_imu_device.h"
#include "platform/linux/linux_platform.h"
#include "support/captured_stream.h"

namespace vesko::platform::linux_hid {
namespace {

class DiscoveryOnSysfsTest : public ::testing::Test {
protected:
    testing::BenchTree bench;
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev()};
    test::CapturedStream out;
    test::CapturedStream err;
};

TEST_F(DiscoveryOnSysfsTest, ModuleSharingTheMcuHubIsChosenWithoutSerial) {
    EXPECT_EQ(collect_mcu_locations(platform), (std::vector<std::u16string>{u"USBROOT(1)#USB(2)#USB(4)"}));
    std::u16string serial;
    const Handle handle = open_imu_device(platform, u"", &serial, true, OutputStreams{out.get(), err.get()});
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_EQ(serial, u"KVR-A1");
    EXPECT_EQ(out.text(), "VantisImu: 2 Gantrell device(s), 1 MCU-paired\n");
    EXPECT_EQ(err.text(), "");
    const auto attributes = platform.attributes(handle);
    ASSERT_TRUE(attributes.has_value());
    EXPECT_EQ(attributes->vendor_id, 0x28DE);
    platform.close(handle);
}

TEST_F(DiscoveryOnSysfsTest, ExplicitSerialReachesTheUnpairedModule) {
    std::u16string serial;
    const std::u16string longest(bench.long_serial.begin(), bench.long_serial.end());
    const Handle handle = open_imu_device(platform, longest, &serial, false, OutputStreams{out.get(), err.get()});
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_EQ(serial, longest);
    platform.close(handle);
    EXPECT_EQ(out.text(), "");
}

TEST_F(DiscoveryOnSysfsTest, WithoutTheMcuNothingIsChosen) {
    bench.fake.remove_usb_device(bench.mcu);
    std::u16string serial = u"unchanged";
    const Handle handle = open_imu_device(platform, u"", &serial, true, OutputStreams{out.get(), err.get()});
    EXPECT_EQ(handle, kInvalidHandle);
    EXPECT_EQ(serial, u"unchanged");
    EXPECT_NE(err.text().find(", no Telvar MCU on the bus"), std::string::npos);
}

}  // namespace
}  // namespace vesko::platform::linux_hid
