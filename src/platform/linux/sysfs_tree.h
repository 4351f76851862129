#pragma once

// One look at sysfs: the USB devices (hubs included), their interfaces and
// the HID devices behind the hidraw nodes, with the Windows-form names the
// device tree carries. Nodes are keyed by their resolved sysfs directory.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vesko::platform::linux_hid {

struct TreeNode {
    std::string sys_path;               // resolved directory, the node's identity
    std::optional<std::size_t> parent;  // index in TreeSnapshot::nodes
    std::string instance_id;
    std::optional<std::string> location;  // first location path, if the node has one
};

struct HidrawEntry {
    std::string name;         // "hidraw3"
    std::size_t node = 0;     // the HID device's index in TreeSnapshot::nodes
    std::string device_path;  // "\\?\hid#vid_28de&pid_2300&mi_00#hidraw3"
};

struct TreeSnapshot {
    std::vector<TreeNode> nodes;      // parents always come before their children
    std::vector<HidrawEntry> hidraw;  // by hidraw number
};

// nullopt when `sys_root` cannot be read at all; a tree without USB or
// hidraw folders is simply empty.
std::optional<TreeSnapshot> scan_tree(const std::filesystem::path& sys_root);

// What an open hidraw node is, read from sysfs.
struct HidrawIdentity {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t version = 0;
    std::optional<std::string> serial;  // the USB device's serial, as the kernel wrote it (UTF-8)
    std::optional<std::string> dev;     // "major:minor" of the node
};
std::optional<HidrawIdentity> identify_hidraw(const std::filesystem::path& sys_root, const std::string& hidraw_name);

}  // namespace vesko::platform::linux_hid
