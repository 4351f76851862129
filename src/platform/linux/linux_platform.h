#pragma once

// The seam on Linux: sysfs turned into the Windows-form device tree, hidraw
// nodes read with the overlapped model. The sysfs and /dev roots are
// parameters so that a fake tree in a temporary folder can stand in.

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/linux/overlapped_io.h"
#include "platform/platform.h"

namespace vesko::platform::linux_hid {

class LinuxPlatform final : public Platform {
public:
    // How a device node is opened: open(2), unless a test stands in for it
    // (a test run as root is never refused).
    using NodeOpen = std::function<int(const char* path, int flags)>;

    LinuxPlatform(std::filesystem::path sys_root, std::filesystem::path dev_root, NodeOpen open_node = {});

    std::optional<std::vector<DevNode>> nodes_under_enumerator(std::u16string_view enumerator) override;
    std::optional<DevNode> parent(DevNode node) override;
    std::optional<std::u16string> device_instance_id(DevNode node) override;
    std::optional<std::u16string> location_paths(DevNode node) override;

    std::optional<std::vector<HidInterfaceDetail>> hid_interfaces() override;
    Handle open_device(std::u16string_view path) override;
    std::optional<HidAttributes> attributes(Handle device) override;
    std::u16string serial_number(Handle device) override;
    void close(Handle handle) override;
    std::vector<DeniedInterface> denied_interfaces() override;

    Handle create_event() override;
    void reset_event(Handle event) override;
    void set_event(Handle event) override;
    ReadIssue begin_read(Handle device, Handle event, OverlappedRecord& record, std::uint8_t* buffer,
                         std::uint32_t length) override;
    WaitStatus wait(Handle event, std::uint32_t timeout_ms) override;
    void cancel_read(Handle device, OverlappedRecord& record) override;
    void cancel_all_reads(Handle device) override;
    ReadOutcome read_result(Handle device, OverlappedRecord& record, bool wait_for_end) override;

private:
    struct NodeRecord {
        std::optional<DevNode> parent;
        std::u16string instance_id;
        std::optional<std::u16string> location;
    };

    // Rescans sysfs and replaces the node table; the hidraw entries of the
    // scan with their node ids. Caller holds tree_mutex_.
    struct HidrawNode {
        std::u16string device_path;
        DevNode node = 0;
    };
    bool rebuild_locked(std::vector<HidrawNode>* hidraw);
    const NodeRecord* find_locked(DevNode node) const;

    const std::filesystem::path sys_root_;
    const std::filesystem::path dev_root_;
    const NodeOpen open_node_;

    // Node ids: one per sysfs directory ever seen, never reused, so an id
    // keeps naming the same device across rescans and fails once it is gone.
    std::mutex tree_mutex_;
    std::map<std::string, DevNode> node_ids_;
    DevNode next_node_ = 1;
    std::unordered_map<DevNode, NodeRecord> nodes_;
    std::vector<DevNode> order_;  // the present nodes in scan order

    OverlappedIo io_;
};

}  // namespace vesko::platform::linux_hid
