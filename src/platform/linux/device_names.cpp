#include "platform/linux/device_names.h"

#include <cstdio>

#include "platform/device_text.h"
#include "platform/linux/sysfs_attribute.h"

namespace vesko::platform::linux_hid {

namespace {

// Windows builds an instance ID from the serial only when every character is
// printable ASCII other than ',' (and '\' separates the ID's parts).
bool serial_fits_instance_id(std::string_view serial) {
    if (serial.empty() || serial.size() > 126) {
        return false;
    }
    for (char c : serial) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == ',' || c == '\\') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string usb_device_instance_id(std::uint16_t vendor, std::uint16_t product, std::string_view serial,
                                   std::string_view port_name) {
    const std::string_view tail = serial_fits_instance_id(serial) ? serial : port_name;
    return usb_device_id(vendor, product, tail);
}

std::string root_hub_instance_id(std::uint32_t bus) { return "USB\\ROOT_HUB\\USB" + std::to_string(bus); }

std::string usb_interface_instance_id(std::uint16_t vendor, std::uint16_t product, std::uint8_t interface_number,
                                      std::string_view interface_name) {
    return usb_interface_id(vendor, product, interface_number, ascii_upper(interface_name));
}

std::string hid_instance_id(std::uint16_t vendor, std::uint16_t product, std::optional<std::uint8_t> interface_number,
                            std::string_view name) {
    return hid_device_id(vendor, product, interface_number, ascii_upper(name));
}

std::optional<std::string> usb_location_path(std::uint32_t bus, std::string_view devpath) {
    std::string path = "USBROOT(" + std::to_string(bus) + ")";
    if (devpath == "0") {
        return path;  // the root hub itself
    }
    std::size_t start = 0;
    while (start <= devpath.size()) {
        std::size_t dot = devpath.find('.', start);
        if (dot == std::string_view::npos) {
            dot = devpath.size();
        }
        const auto port = parse_decimal(devpath.substr(start, dot - start));
        if (!port) {
            return std::nullopt;
        }
        path += "#USB(" + std::to_string(*port) + ")";
        start = dot + 1;
    }
    return path;
}

std::string interface_location_path(std::string_view device_path, std::uint8_t interface_number) {
    return std::string(device_path) + "#USBMI(" + std::to_string(interface_number) + ")";
}

std::string hid_device_path(std::uint16_t vendor, std::uint16_t product, std::optional<std::uint8_t> interface_number,
                            std::string_view hidraw_name) {
    return hid_interface_path(vendor, product, interface_number, hidraw_name);
}

std::optional<std::string> hidraw_name_from_path(std::u16string_view path) {
    const std::size_t hash = path.rfind(u'#');
    const std::u16string_view tail = hash == std::u16string_view::npos ? path : path.substr(hash + 1);
    constexpr std::string_view kStem = "hidraw";
    if (tail.size() <= kStem.size() || tail.size() > kStem.size() + 9) {
        return std::nullopt;
    }
    std::string name = "hidraw";
    if (ascii_lower(tail.substr(0, kStem.size())) != u"hidraw") {
        return std::nullopt;
    }
    for (std::size_t i = kStem.size(); i < tail.size(); ++i) {
        if (tail[i] < u'0' || tail[i] > u'9') {
            return std::nullopt;
        }
        name.push_back(static_cast<char>(tail[i]));
    }
    return name;
}

std::optional<HidNameIds> parse_hid_device_name(std::string_view name) {
    // BBBB:VVVV:PPPP.NNNN
    if (name.size() < 15 || name[4] != ':' || name[9] != ':' || name[14] != '.') {
        return std::nullopt;
    }
    const auto vendor = parse_hex16(name.substr(5, 4));
    const auto product = parse_hex16(name.substr(10, 4));
    if (!vendor || !product) {
        return std::nullopt;
    }
    return HidNameIds{*vendor, *product};
}

}  // namespace vesko::platform::linux_hid
