#include "platform/linux/sysfs_tree.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "platform/linux/device_names.h"
#include "platform/linux/sysfs_attribute.h"

namespace vesko::platform::linux_hid {

namespace fs = std::filesystem;

namespace {

struct UsbDevice {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t version = 0;
    std::uint32_t bus = 0;
    std::string devpath;
    std::optional<std::string> serial;
    // Windows gives a device with more than one interface a node per
    // interface ("...&MI_nn"), and one with a single interface none: its
    // function hangs straight off the device node. Unknown counts as composite.
    bool composite = true;
};

std::optional<UsbDevice> read_usb_device(const fs::path& dir) {
    const auto vendor = read_attribute(dir / "idVendor");
    const auto product = read_attribute(dir / "idProduct");
    const auto bus = read_attribute(dir / "busnum");
    auto devpath = read_attribute(dir / "devpath");
    if (!vendor || !product || !bus || !devpath) {
        return std::nullopt;
    }
    UsbDevice device;
    const auto v = parse_hex16(*vendor);
    const auto p = parse_hex16(*product);
    const auto b = parse_decimal(*bus);
    if (!v || !p || !b) {
        return std::nullopt;
    }
    device.vendor = *v;
    device.product = *p;
    device.bus = *b;
    device.devpath = std::move(*devpath);
    if (const auto bcd = read_attribute(dir / "bcdDevice")) {
        device.version = parse_hex16(*bcd).value_or(0);
    }
    device.serial = read_attribute(dir / "serial");
    if (const auto count = read_attribute(dir / "bNumInterfaces")) {  // " 1": right-aligned by the kernel
        const std::size_t digits = count->find_first_not_of(' ');
        if (const auto n = parse_decimal(digits == std::string::npos ? "" : count->substr(digits))) {
            device.composite = *n > 1;
        }
    }
    return device;
}

std::optional<std::uint8_t> read_interface_number(const fs::path& dir) {
    const auto text = read_attribute(dir / "bInterfaceNumber");
    if (!text || text->size() > 2) {
        return std::nullopt;
    }
    const auto number = parse_hex16(*text);
    if (!number) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*number);
}

std::optional<fs::path> resolve(const fs::path& link) {
    std::error_code ec;
    fs::path real = fs::canonical(link, ec);
    if (ec) {
        return std::nullopt;
    }
    return real;
}

class TreeBuilder {
public:
    // A USB device and the hubs above it. nullopt when `dir` is not one.
    std::optional<std::size_t> add_usb_device(const fs::path& dir) {
        if (const auto known = find(dir)) {
            return known;
        }
        const auto device = read_usb_device(dir);
        if (!device) {
            return std::nullopt;
        }
        const auto parent = add_usb_device(dir.parent_path());
        TreeNode node;
        node.sys_path = dir.string();
        node.parent = parent;
        const std::string name = dir.filename().string();
        node.instance_id = device->devpath == "0" ? root_hub_instance_id(device->bus)
                                                  : usb_device_instance_id(device->vendor, device->product,
                                                                           device->serial.value_or(""), name);
        node.location = usb_location_path(device->bus, device->devpath);
        return add(std::move(node));
    }

    // A USB interface and the device it belongs to.
    std::optional<std::size_t> add_usb_interface(const fs::path& dir) {
        if (const auto known = find(dir)) {
            return known;
        }
        const auto number = read_interface_number(dir);
        const auto device = read_usb_device(dir.parent_path());
        if (!number || !device) {
            return std::nullopt;
        }
        const auto parent = add_usb_device(dir.parent_path());
        if (!parent) {
            return std::nullopt;
        }
        TreeNode node;
        node.sys_path = dir.string();
        node.parent = parent;
        node.instance_id = usb_interface_instance_id(device->vendor, device->product, *number, dir.filename().string());
        if (const auto& device_location = nodes_[*parent].location) {
            node.location = interface_location_path(*device_location, *number);
        }
        return add(std::move(node));
    }

    // The HID device behind a hidraw node, with its device path.
    std::optional<HidrawEntry> add_hid_device(const fs::path& dir, const std::string& hidraw_name) {
        const std::string name = dir.filename().string();
        const fs::path interface_dir = dir.parent_path();
        const auto number = read_interface_number(interface_dir);
        const auto usb = number ? read_usb_device(interface_dir.parent_path()) : std::nullopt;

        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        std::optional<std::size_t> parent;
        std::optional<std::uint8_t> interface_number;
        if (usb) {
            vendor = usb->vendor;
            product = usb->product;
            if (usb->composite) {
                parent = add_usb_interface(interface_dir);
                interface_number = number;
            } else {
                parent = add_usb_device(interface_dir.parent_path());
            }
        } else if (const auto ids = parse_hid_device_name(name)) {
            vendor = ids->vendor;  // not on USB (Bluetooth, I2C, virtual): no interface
            product = ids->product;
        }

        std::optional<std::size_t> index = find(dir);
        if (!index) {
            TreeNode node;
            node.sys_path = dir.string();
            node.parent = parent;
            node.instance_id = hid_instance_id(vendor, product, interface_number, name);
            index = add(std::move(node));
        }
        return HidrawEntry{hidraw_name, *index, hid_device_path(vendor, product, interface_number, hidraw_name)};
    }

    TreeSnapshot finish(std::vector<HidrawEntry> hidraw) { return TreeSnapshot{std::move(nodes_), std::move(hidraw)}; }

private:
    std::optional<std::size_t> find(const fs::path& dir) const {
        const auto it = index_.find(dir.string());
        if (it == index_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    std::size_t add(TreeNode node) {
        const std::size_t index = nodes_.size();
        index_.emplace(node.sys_path, index);
        nodes_.push_back(std::move(node));
        return index;
    }

    std::vector<TreeNode> nodes_;
    std::map<std::string, std::size_t> index_;
};

// Entries of a folder, sorted by name; empty when it does not exist.
std::vector<fs::path> list_folder(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        return entries;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::optional<std::uint32_t> hidraw_number(const std::string& name) {
    if (name.rfind("hidraw", 0) != 0) {
        return std::nullopt;
    }
    return parse_decimal(std::string_view(name).substr(6));
}

}  // namespace

std::optional<TreeSnapshot> scan_tree(const fs::path& sys_root) {
    std::error_code ec;
    if (!fs::is_directory(sys_root, ec)) {
        return std::nullopt;
    }
    TreeBuilder builder;

    for (const fs::path& entry : list_folder(sys_root / "bus" / "usb" / "devices")) {
        const auto dir = resolve(entry);
        if (!dir) {
            continue;
        }
        if (!builder.add_usb_device(*dir)) {
            builder.add_usb_interface(*dir);
        }
    }

    std::vector<std::pair<std::uint32_t, fs::path>> numbered;
    for (const fs::path& entry : list_folder(sys_root / "class" / "hidraw")) {
        if (const auto number = hidraw_number(entry.filename().string())) {
            numbered.emplace_back(*number, entry);
        }
    }
    std::sort(numbered.begin(), numbered.end());

    std::vector<HidrawEntry> hidraw;
    for (const auto& [number, entry] : numbered) {
        const auto hid_dir = resolve(entry / "device");
        if (!hid_dir) {
            continue;  // gone while we looked
        }
        if (auto found = builder.add_hid_device(*hid_dir, entry.filename().string())) {
            hidraw.push_back(std::move(*found));
        }
    }
    return builder.finish(std::move(hidraw));
}

std::optional<HidrawIdentity> identify_hidraw(const fs::path& sys_root, const std::string& hidraw_name) {
    const fs::path entry = sys_root / "class" / "hidraw" / hidraw_name;
    const auto hid_dir = resolve(entry / "device");
    if (!hid_dir) {
        return std::nullopt;
    }
    HidrawIdentity identity;
    identity.dev = read_attribute(entry / "dev");
    const fs::path interface_dir = hid_dir->parent_path();
    if (read_interface_number(interface_dir)) {
        if (const auto usb = read_usb_device(interface_dir.parent_path())) {
            identity.vendor = usb->vendor;
            identity.product = usb->product;
            identity.version = usb->version;
            identity.serial = usb->serial;
            return identity;
        }
    }
    const auto ids = parse_hid_device_name(hid_dir->filename().string());
    if (!ids) {
        return std::nullopt;
    }
    identity.vendor = ids->vendor;
    identity.product = ids->product;
    return identity;
}

}  // namespace vesko::platform::linux_hid
