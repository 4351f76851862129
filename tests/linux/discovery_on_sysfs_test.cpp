// The portable discovery run against this backend on the fake bench: the
// module on the MCU's hub is the one chosen without a serial.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "bench_tree.h"
#include "discovery/device_tree.h"
#include "discovery/open_imu_device.h"
#include "platform/linux/linux_platform.h"

namespace vesko::platform::linux_hid {
namespace {

std::string contents(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

class DiscoveryOnSysfsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(out, nullptr);
        ASSERT_NE(err, nullptr);
    }
    void TearDown() override {
        std::fclose(out);
        std::fclose(err);
    }
    testing::BenchTree bench;
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev()};
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
};

TEST_F(DiscoveryOnSysfsTest, ModuleSharingTheMcuHubIsChosenWithoutSerial) {
    EXPECT_EQ(collect_mcu_locations(platform), (std::vector<std::u16string>{u"USBROOT(1)#USB(2)#USB(4)"}));
    std::u16string serial;
    const Handle handle = open_imu_device(platform, u"", &serial, true, OutputStreams{out, err});
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_EQ(serial, u"KVR-A1");
    EXPECT_EQ(contents(out), "VantisImu: 2 Gantrell device(s), 1 MCU-paired\n");
    EXPECT_EQ(contents(err), "");
    const auto attributes = platform.attributes(handle);
    ASSERT_TRUE(attributes.has_value());
    EXPECT_EQ(attributes->vendor_id, 0x28DE);
    platform.close(handle);
}

TEST_F(DiscoveryOnSysfsTest, ExplicitSerialReachesTheUnpairedModule) {
    std::u16string serial;
    const std::u16string truncated(kSerialNumberUnits, u'S');  // what its 128-unit buffer holds
    const Handle handle = open_imu_device(platform, truncated, &serial, false, OutputStreams{out, err});
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_EQ(serial, truncated);
    platform.close(handle);
    EXPECT_EQ(contents(out), "");
}

TEST_F(DiscoveryOnSysfsTest, WithoutTheMcuNothingIsChosen) {
    std::filesystem::remove(bench.fake.sys() / "bus/usb/devices/1-2.4");
    std::filesystem::remove(bench.fake.sys() / "bus/usb/devices/1-2.4:1.0");
    std::u16string serial = u"unchanged";
    const Handle handle = open_imu_device(platform, u"", &serial, true, OutputStreams{out, err});
    EXPECT_EQ(handle, kInvalidHandle);
    EXPECT_EQ(serial, u"unchanged");
    EXPECT_NE(contents(err).find(", no Telvar MCU on the bus"), std::string::npos);
}

}  // namespace
}  // namespace vesko::platform::linux_hid
