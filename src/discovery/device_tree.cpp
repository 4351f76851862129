#include "discovery/device_tree.h"

#include "discovery/hub_ancestors.h"
#include "platform/device_text.h"

namespace vesko {

using platform::ascii_upper;
using platform::up_to_nul;

using platform::DevNode;

std::optional<std::u16string> read_instance_id_upper(platform::Platform& platform, DevNode node) {
    const auto id = platform.device_instance_id(node);
    if (!id) return std::nullopt;
    // The query fills at most its 200-unit buffer; never look beyond it.
    const std::u16string_view filled = std::u16string_view(*id).substr(0, platform::kDeviceIdUnits);
    return ascii_upper(up_to_nul(filled));
}

std::vector<std::u16string> collect_mcu_locations(platform::Platform& platform) {
    std::vector<std::u16string> locations;
    const auto nodes = platform.nodes_under_enumerator(kMcuEnumerator);
    if (!nodes) return locations;
    for (const DevNode node : *nodes) {
        const auto id = read_instance_id_upper(platform, node);
        if (!id) continue;
        if (id->find(kInterfaceMarker) != std::u16string::npos) continue;
        std::u16string location = read_location_path(platform, node);
        if (!location.empty()) locations.push_back(std::move(location));
    }
    return locations;
}

bool find_usb_device_ancestor(platform::Platform& platform, DevNode node, std::u16string_view id_prefix,
                              DevNode& out_node) {
    DevNode current = node;
    for (int level = 0; level < 6; ++level) {
        const auto parent = platform.parent(current);
        if (!parent) return false;
        const auto id = read_instance_id_upper(platform, *parent);
        if (!id) return false;
        const bool has_prefix =
            id->size() >= id_prefix.size() && std::u16string_view(*id).substr(0, id_prefix.size()) == id_prefix;
        if (has_prefix && id->find(kInterfaceMarker) == std::u16string::npos) {
            out_node = *parent;
            return true;
        }
        current = *parent;
    }
    return false;
}

std::u16string read_location_path(platform::Platform& platform, DevNode node) {
    const auto value = platform.location_paths(node);
    if (!value) return {};
    const std::u16string_view filled = std::u16string_view(*value).substr(0, platform::kLocationPathsUnits);
    return std::u16string(up_to_nul(filled));
}

bool is_mcu_paired(platform::Platform& platform, DevNode node, const std::vector<std::u16string>& mcu_locations) {
    DevNode usb_node = 0;
    if (!find_usb_device_ancestor(platform, node, kModuleUsbIdPrefix, usb_node)) return false;
    const std::u16string location = read_location_path(platform, usb_node);
    if (location.empty()) return false;
    const auto module_hubs = hub_ancestors(location);
    for (const auto& mcu : mcu_locations) {
        if (mcu.empty()) continue;
        for (const auto& mcu_hub : hub_ancestors(mcu)) {
            for (const auto& module_hub : module_hubs) {
                if (module_hub == mcu_hub) return true;
            }
        }
    }
    return false;
}

}  // namespace vesko
