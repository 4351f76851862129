#pragma once

// Builders for the usual shapes on a SimBus: hubs, headset MCUs and tracking
// modules, with instance IDs, location paths and device paths in the forms
// the platform gives them. A module is a USB device node, its interface-00
// node and the HID node below it, plus interface 01 as a second HID interface.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/product_ids.h"
#include "platform/sim/sim_bus.h"

namespace vesko::simulator {

using platform::sim::SimBus;

// A location-paths property value: each path followed by a NUL, and the
// empty text that closes the list.
std::u16string location_value(std::initializer_list<std::u16string_view> paths);

// A hub (or a root hub) at `location`, below `parent` when given.
platform::DevNode add_hub(SimBus& bus, std::optional<platform::DevNode> parent, std::u16string_view location);

// A headset MCU's USB device node at `location`; `more_paths` follow it in
// the node's location-paths value.
platform::DevNode add_mcu(SimBus& bus, std::optional<platform::DevNode> hub, std::u16string_view location,
                          const std::vector<std::u16string>& more_paths = {});

struct SimModuleConfig {
    std::u16string serial;                 // HID serial; also the USB instance part
    std::optional<platform::DevNode> hub;  // parent of the module's USB device node
    std::u16string location;               // location path of that node
    std::uint16_t vendor_id = kModuleVendorId;
    std::uint16_t product_id = kModuleProductId;
    bool second_interface = true;                        // interface 01 as its own HID interface
    bool lower_case_hex = false;                         // IDs with lower-case hex digits
    bool upper_case_path = false;                        // the device path in capitals
    std::vector<std::u16string> more_location_paths;     // after `location` in the property
    bool detail_read_fails = false;                      // interface 00's detail read fails
    std::optional<std::uint16_t> attributes_product_id;  // the HID attributes' product, if not product_id
};

struct SimModule {
    platform::DevNode usb_node = 0;
    platform::DevNode interface_node = 0;  // "&MI_00" node
    platform::DevNode hid_node = 0;        // node of the HID interface's device
    std::size_t hid_interface = 0;         // index on the bus of interface 00
    std::optional<std::size_t> second_hid_interface;
    std::u16string path;  // device path of interface 00
};

SimModule add_module(SimBus& bus, const SimModuleConfig& config);

}  // namespace vesko::simulator
