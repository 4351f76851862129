#include "platform/linux/linux_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/device_text.h"
#include "platform/linux/device_names.h"
#include "platform/linux/sysfs_tree.h"
#include "platform/linux/utf16.h"

namespace vesko::platform::linux_hid {

namespace {

// The instance ID lies under the enumerator: it begins with it (letter case
// aside) and the enumerator ends at one of the ID's separators.
bool under_enumerator(std::u16string_view id, std::u16string_view enumerator) {
    if (enumerator.empty()) {
        return true;
    }
    if (id.size() <= enumerator.size()) {
        return false;
    }
    if (ascii_upper(id.substr(0, enumerator.size())) != ascii_upper(enumerator)) {
        return false;
    }
    const char16_t next = id[enumerator.size()];
    return next == u'\\' || next == u'&';
}

// The hidraw node still is the one sysfs describes (its number may have gone
// to another device since it was opened). Only a character device can tell.
bool node_matches(int fd, const HidrawIdentity& identity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    if (!S_ISCHR(st.st_mode)) {
        return true;
    }
    if (!identity.dev) {
        return false;
    }
    const std::string expected = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    return *identity.dev == expected;
}

}  // namespace

LinuxPlatform::LinuxPlatform(std::filesystem::path sys_root, std::filesystem::path dev_root, NodeOpen open_node)
    : sys_root_(std::move(sys_root)),
      dev_root_(std::move(dev_root)),
      open_node_(open_node ? std::move(open_node)
                           : NodeOpen([](const char* path, int flags) { return ::open(path, flags); })) {}

// --- device tree ----------------------------------------------------------

bool LinuxPlatform::rebuild_locked(std::vector<HidrawNode>* hidraw) {
    const auto snapshot = scan_tree(sys_root_);
    if (!snapshot) {
        return false;
    }
    std::vector<DevNode> ids;
    ids.reserve(snapshot->nodes.size());
    for (const TreeNode& node : snapshot->nodes) {
        auto [it, inserted] = node_ids_.try_emplace(node.sys_path, next_node_);
        if (inserted) {
            ++next_node_;
        }
        ids.push_back(it->second);
    }

    std::unordered_map<DevNode, NodeRecord> nodes;
    for (std::size_t i = 0; i < snapshot->nodes.size(); ++i) {
        const TreeNode& node = snapshot->nodes[i];
        NodeRecord record;
        if (node.parent) {
            record.parent = ids[*node.parent];
        }
        record.instance_id = ascii_to_utf16(node.instance_id);
        if (node.location) {
            record.location = ascii_to_utf16(*node.location);
        }
        nodes.emplace(ids[i], std::move(record));
    }
    nodes_ = std::move(nodes);
    order_ = std::move(ids);

    if (hidraw) {
        hidraw->clear();
        for (const HidrawEntry& entry : snapshot->hidraw) {
            hidraw->push_back(HidrawNode{ascii_to_utf16(entry.device_path), order_[entry.node]});
        }
    }
    return true;
}

const LinuxPlatform::NodeRecord* LinuxPlatform::find_locked(DevNode node) const {
    const auto it = nodes_.find(node);
    return it == nodes_.end() ? nullptr : &it->second;
}

std::optional<std::vector<DevNode>> LinuxPlatform::nodes_under_enumerator(std::u16string_view enumerator) {
    std::lock_guard lock(tree_mutex_);
    if (!rebuild_locked(nullptr)) {
        return std::nullopt;
    }
    std::vector<DevNode> found;
    for (DevNode node : order_) {
        if (under_enumerator(nodes_.at(node).instance_id, enumerator)) {
            found.push_back(node);
        }
    }
    return found;
}

std::optional<DevNode> LinuxPlatform::parent(DevNode node) {
    std::lock_guard lock(tree_mutex_);
    const NodeRecord* record = find_locked(node);
    if (!record) {
        return std::nullopt;
    }
    return record->parent;
}

std::optional<std::u16string> LinuxPlatform::device_instance_id(DevNode node) {
    std::lock_guard lock(tree_mutex_);
    const NodeRecord* record = find_locked(node);
    if (!record || record->instance_id.size() + 1 > kDeviceIdUnits) {
        return std::nullopt;  // unknown node, or an ID the 200-unit buffer cannot hold
    }
    return record->instance_id + u'\0';
}

std::optional<std::u16string> LinuxPlatform::location_paths(DevNode node) {
    std::lock_guard lock(tree_mutex_);
    const NodeRecord* record = find_locked(node);
    if (!record || !record->location) {
        return std::nullopt;
    }
    // One NUL-terminated path, and the empty text that ends the list.
    std::u16string value = *record->location + u'\0' + u'\0';
    if (value.size() > kLocationPathsUnits) {
        return std::nullopt;
    }
    return value;
}

// --- HID interfaces and handles ---------------------------------------------

std::optional<std::vector<HidInterfaceDetail>> LinuxPlatform::hid_interfaces() {
    std::vector<HidrawNode> hidraw;
    {
        std::lock_guard lock(tree_mutex_);
        if (!rebuild_locked(&hidraw)) {
            return std::nullopt;
        }
    }
    std::vector<HidInterfaceDetail> details;
    details.reserve(hidraw.size());
    for (HidrawNode& entry : hidraw) {
        details.push_back(HidInterfaceDetail{true, std::move(entry.device_path), entry.node});
    }
    return details;
}

Handle LinuxPlatform::open_device(std::u16string_view path) {
    const auto name = hidraw_name_from_path(path);
    if (!name) {
        return kInvalidHandle;
    }
    const std::filesystem::path node = dev_root_ / *name;
    int fd = open_node_(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        fd = open_node_(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);  // reading is all we need
    }
    if (fd < 0) {
        return kInvalidHandle;
    }
    return io_.add_device(UniqueFd(fd), *name);
}

std::optional<HidAttributes> LinuxPlatform::attributes(Handle device) {
    const auto file = io_.device(device);
    if (!file) {
        return std::nullopt;
    }
    const auto identity = identify_hidraw(sys_root_, file->node_name());
    if (!identity || !node_matches(file->fd(), *identity)) {
        return std::nullopt;
    }
    return HidAttributes{identity->vendor, identity->product, identity->version};
}

std::u16string LinuxPlatform::serial_number(Handle device) {
    std::u16string buffer(kSerialNumberUnits, u'\0');
    const auto file = io_.device(device);
    if (!file) {
        return buffer;
    }
    const auto identity = identify_hidraw(sys_root_, file->node_name());
    if (!identity || !identity->serial || !node_matches(file->fd(), *identity)) {
        return buffer;
    }
    const std::u16string serial = utf8_to_utf16(*identity->serial);
    std::copy_n(serial.begin(), std::min(serial.size(), buffer.size()), buffer.begin());
    return buffer;
}

void LinuxPlatform::close(Handle handle) { io_.close(handle); }

// A fresh system gives hidraw nodes to root alone: those the process may not
// even read are the ones to tell the operator of.
std::vector<DeniedInterface> LinuxPlatform::denied_interfaces() {
    std::vector<DeniedInterface> denied;
    const auto interfaces = hid_interfaces();
    if (!interfaces) {
        return denied;
    }
    for (const HidInterfaceDetail& detail : *interfaces) {
        const auto name = hidraw_name_from_path(detail.path);
        if (!name) {
            continue;
        }
        const std::filesystem::path node = dev_root_ / *name;
        const int fd = open_node_(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        if (errno != EACCES && errno != EPERM) {
            continue;
        }
        const auto identity = identify_hidraw(sys_root_, *name);
        if (!identity) {
            continue;
        }
        denied.push_back(DeniedInterface{detail.path, node.string(),
                                         HidAttributes{identity->vendor, identity->product, identity->version},
                                         identity->serial ? utf8_to_utf16(*identity->serial) : std::u16string()});
    }
    return denied;
}

// --- overlapped reads -------------------------------------------------------

Handle LinuxPlatform::create_event() { return io_.create_event(); }

void LinuxPlatform::reset_event(Handle event) { io_.reset_event(event); }

void LinuxPlatform::set_event(Handle event) { io_.set_event(event); }

ReadIssue LinuxPlatform::begin_read(Handle device, Handle event, OverlappedRecord& record, std::uint8_t* buffer,
                                    std::uint32_t length) {
    return io_.begin_read(device, event, record, buffer, length);
}

WaitStatus LinuxPlatform::wait(Handle event, std::uint32_t timeout_ms) { return io_.wait(event, timeout_ms); }

void LinuxPlatform::cancel_read(Handle device, OverlappedRecord& record) { io_.cancel_read(device, record); }

void LinuxPlatform::cancel_all_reads(Handle device) { io_.cancel_all_reads(device); }

ReadOutcome LinuxPlatform::read_result(Handle device, OverlappedRecord& record, bool wait_for_end) {
    return io_.read_result(device, record, wait_for_end);
}

}  // namespace vesko::platform::linux_hid
