#pragma once

// Device-tree queries that decide whether a tracking module shares a USB hub
// with a headset MCU. Every platform failure means "no information": an
// empty text or list, or no ancestor. Nothing here prints. Any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/product_ids.h"
#include "platform/platform.h"

namespace vesko {

// Marks the instance ID of an interface node of a composite device.
inline constexpr std::u16string_view kInterfaceMarker = u"&MI_";

// The node's instance ID up to its first NUL (all of the query's units when
// it has none), upper-cased; nullopt when the query fails.
std::optional<std::u16string> read_instance_id_upper(platform::Platform& platform, platform::DevNode node);

// The non-empty location paths of the present MCU nodes, in enumeration
// order; interface nodes are left out.
std::vector<std::u16string> collect_mcu_locations(platform::Platform& platform);

// Walks up to six ancestors of `node` (never `node` itself) for the first
// whose upper-cased instance ID starts with `id_prefix` (given in capitals)
// and is no interface node. True with `out_node` set when found.
bool find_usb_device_ancestor(platform::Platform& platform, platform::DevNode node, std::u16string_view id_prefix,
                              platform::DevNode& out_node);

// The first entry of the node's location paths; empty when there is none.
std::u16string read_location_path(platform::Platform& platform, platform::DevNode node);

// True when the USB device above the module's HID interface node `node` has a
// hub ancestor (one or two hops up) in common with any of the MCUs.
bool is_mcu_paired(platform::Platform& platform, platform::DevNode node,
                   const std::vector<std::u16string>& mcu_locations);

}  // namespace vesko
