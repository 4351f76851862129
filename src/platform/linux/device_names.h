#pragma once

// The Windows-form names this backend gives to what sysfs describes:
// device instance IDs, location paths and HID device paths. Pure text work.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesko::platform::linux_hid {

// "USB\VID_28DE&PID_2300\<serial>"; the sysfs name of the port ("1-2.3")
// stands in for a serial that is absent or unusable in an instance ID.
std::string usb_device_instance_id(std::uint16_t vendor, std::uint16_t product, std::string_view serial,
                                   std::string_view port_name);

// "USB\ROOT_HUB\USB1" for the root hub of bus 1.
std::string root_hub_instance_id(std::uint32_t bus);

// "USB\VID_28DE&PID_2300&MI_00\1-2.3:1.0".
std::string usb_interface_instance_id(std::uint16_t vendor, std::uint16_t product, std::uint8_t interface_number,
                                      std::string_view interface_name);

// "HID\VID_28DE&PID_2300&MI_00\<name>"; without "&MI_" for a HID device
// that is not a USB interface.
std::string hid_instance_id(std::uint16_t vendor, std::uint16_t product, std::optional<std::uint8_t> interface_number,
                            std::string_view name);

// Bus number and port chain ("2.3", "0" for the root hub) ->
// "USBROOT(1)#USB(2)#USB(3)"; nullopt when the chain is malformed.
std::optional<std::string> usb_location_path(std::uint32_t bus, std::string_view devpath);

// Location path of an interface: the device's path + "#USBMI(n)".
std::string interface_location_path(std::string_view device_path, std::uint8_t interface_number);

// "\\?\hid#vid_28de&pid_2300&mi_00#hidraw3".
std::string hid_device_path(std::uint16_t vendor, std::uint16_t product, std::optional<std::uint8_t> interface_number,
                            std::string_view hidraw_name);

// The hidraw node a device path names ("hidraw3"), from its last '#'
// segment; nullopt for anything else, so no path can reach outside /dev.
std::optional<std::string> hidraw_name_from_path(std::u16string_view path);

// The HID device directory name "0003:28DE:2300.0005" -> vendor, product.
struct HidNameIds {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};
std::optional<HidNameIds> parse_hid_device_name(std::string_view name);

}  // namespace vesko::platform::linux_hid
