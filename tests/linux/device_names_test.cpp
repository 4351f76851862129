#include <gtest/gtest.h>

#include <cerrno>

#include "platform/linux/device_names.h"
#include "platform/linux/error_codes.h"
#include "platform/linux/utf16.h"

namespace vesko::platform::linux_hid {
namespace {

TEST(DeviceNames, LocationPathFromBusAndPortChain) {
    EXPECT_EQ(usb_location_path(1, "2.3").value_or("?"), "USBROOT(1)#USB(2)#USB(3)");
    EXPECT_EQ(usb_location_path(3, "1.4.2.1").value_or("?"), "USBROOT(3)#USB(1)#USB(4)#USB(2)#USB(1)");
    EXPECT_EQ(usb_location_path(2, "0").value_or("?"), "USBROOT(2)");
    EXPECT_EQ(usb_location_path(1, "12").value_or("?"), "USBROOT(1)#USB(12)");
    EXPECT_FALSE(usb_location_path(1, "").has_value());
    EXPECT_FALSE(usb_location_path(1, "2.").has_value());
    EXPECT_FALSE(usb_location_path(1, ".2").has_value());
    EXPECT_FALSE(usb_location_path(1, "2..3").has_value());
    EXPECT_FALSE(usb_location_path(1, "2.x").has_value());
}

TEST(DeviceNames, UsbDeviceIdUsesSerialOnlyWhenItFitsAnInstanceId) {
    EXPECT_EQ(usb_device_instance_id(0x28DE, 0x2300, "KVR-1", "1-2"), "USB\\VID_28DE&PID_2300\\KVR-1");
    EXPECT_EQ(usb_device_instance_id(0x28DE, 0x2300, "", "1-2"), "USB\\VID_28DE&PID_2300\\1-2");
    EXPECT_EQ(usb_device_instance_id(0x28DE, 0x2300, "A B", "1-2"), "USB\\VID_28DE&PID_2300\\1-2");
    EXPECT_EQ(usb_device_instance_id(0x28DE, 0x2300, "A\\B", "1-2"), "USB\\VID_28DE&PID_2300\\1-2");
    EXPECT_EQ(usb_device_instance_id(0x28DE, 0x2300, "A,B", "1-2"), "USB\\VID_28DE&PID_2300\\1-2");
    EXPECT_EQ(usb_device_instance_id(0x28DE, 0x2300, "\xC3\x84", "1-2"), "USB\\VID_28DE&PID_2300\\1-2");
    EXPECT_EQ(usb_device_instance_id(0x0a, 0xbc, std::string(126, 'x'), "1-2").size(), 148u);
    EXPECT_EQ(usb_device_instance_id(0x0a, 0xbc, std::string(127, 'x'), "1-2"), "USB\\VID_000A&PID_00BC\\1-2");
}

TEST(DeviceNames, InterfaceAndHidIdsCarryTheInterfaceNumberInHex) {
    EXPECT_EQ(usb_interface_instance_id(0x28DE, 0x2300, 0x0A, "1-2:1.10"), "USB\\VID_28DE&PID_2300&MI_0A\\1-2:1.10");
    EXPECT_EQ(hid_instance_id(0x28DE, 0x2300, 0, "0003:28de:2300.0001"),
              "HID\\VID_28DE&PID_2300&MI_00\\0003:28DE:2300.0001");
    EXPECT_EQ(hid_instance_id(0x046D, 0xB019, std::nullopt, "0005:046D:B019.0007"),
              "HID\\VID_046D&PID_B019\\0005:046D:B019.0007");
    EXPECT_EQ(hid_device_path(0x28DE, 0x2300, 0x0A, "hidraw12"), "\\\\?\\hid#vid_28de&pid_2300&mi_0a#hidraw12");
    EXPECT_EQ(hid_device_path(0x046D, 0xB019, std::nullopt, "hidraw1"), "\\\\?\\hid#vid_046d&pid_b019#hidraw1");
}

TEST(DeviceNames, HidrawNameComesOnlyFromAWellFormedLastSegment) {
    EXPECT_EQ(hidraw_name_from_path(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#hidraw3").value_or("?"), "hidraw3");
    EXPECT_EQ(hidraw_name_from_path(u"HIDRAW17").value_or("?"), "hidraw17");
    EXPECT_FALSE(hidraw_name_from_path(u"#hidraw3#x").has_value());
    EXPECT_FALSE(hidraw_name_from_path(u"#hidraw-1").has_value());
    EXPECT_FALSE(hidraw_name_from_path(u"#hidraw1234567890").has_value());
    EXPECT_FALSE(hidraw_name_from_path(u"#hidraw3/../../etc").has_value());
    EXPECT_FALSE(hidraw_name_from_path(u"#hidraw\u0663").has_value());  // a non-ASCII digit
}

TEST(DeviceNames, HidDeviceNameGivesVendorAndProduct) {
    const auto ids = parse_hid_device_name("0003:28DE:2300.0005");
    ASSERT_TRUE(ids.has_value());
    EXPECT_EQ(ids->vendor, 0x28DE);
    EXPECT_EQ(ids->product, 0x2300);
    EXPECT_FALSE(parse_hid_device_name("0003:28DE:23Z0.0005").has_value());
    EXPECT_FALSE(parse_hid_device_name("hidraw").has_value());
}

TEST(Utf16, DecodesUtf8AndReplacesMalformedBytes) {
    EXPECT_EQ(utf8_to_utf16("KVR-1"), u"KVR-1");
    EXPECT_EQ(utf8_to_utf16("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"\u00E9\u20AC\U0001F600");
    EXPECT_EQ(utf8_to_utf16("a\xFF"
                            "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf8_to_utf16("a\xC3"), u"a\uFFFD");                    // cut short at the end
    EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // over-long form
    EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
}

TEST(ErrorCodes, VanishedDeviceIsDeviceNotConnected) {
    EXPECT_EQ(error_from_errno(EIO), kErrorDeviceNotConnected);
    EXPECT_EQ(error_from_errno(ENODEV), kErrorDeviceNotConnected);
    EXPECT_EQ(error_from_errno(ENXIO), kErrorDeviceNotConnected);
    EXPECT_EQ(error_from_errno(EBADF), kErrorInvalidHandle);
    EXPECT_EQ(error_from_errno(EACCES), kErrorAccessDenied);
    EXPECT_EQ(error_from_errno(ELOOP), kErrorGenFailure);
    EXPECT_NE(error_from_errno(EINVAL), kErrorIoPending);
}

}  // namespace
}  // namespace vesko::platform::linux_hid
