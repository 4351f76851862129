#pragma once

// The bench of the tests: on bus 1 (a PCI host controller) a hub (port 2)
// carrying a tracking module on port 3 and the headset MCU, with a HID
// interface of its own, on port 4; on bus 2 (the USB/IP virtual controller)
// a second module straight on the root hub, whose serial is as long as a
// USB string descriptor can carry (126 characters). Each module has HID
// interfaces 00 and 01.
//
//   hidraw0  1-2.3:1.0  module KVR-A1, interface 00   0003:28DE:2300.0001
//   hidraw1  1-2.3:1.1  module KVR-A1, interface 01   0003:28DE:2300.0002
//   hidraw2  2-1:1.0    module with the long serial   0003:28DE:2300.0003
//   hidraw3  2-1:1.1    same module, interface 01     0003:28DE:2300.0004
//   hidraw4  1-2.4:1.0  the MCU                       0003:35BD:0101.0005

#include <filesystem>
#include <string>

#include "fake_system.h"

namespace vesko::testing {

struct BenchTree {
    FakeSystem fake;
    std::filesystem::path root1, hub, module_a, mcu, root2, module_b;
    std::string long_serial = std::string(126, 'S');

    BenchTree() {
        root1 = fake.add_root_hub(1);
        hub = fake.add_usb_device(root1, 1, "2", "05e3", "0610", std::nullopt);
        fake.add_interface(hub, 0, "09");
        module_a = fake.add_usb_device(hub, 1, "2.3", "28de", "2300", "KVR-A1");
        fake.add_hidraw(fake.add_interface(module_a, 0), "0003:28DE:2300.0001", 0);
        fake.add_hidraw(fake.add_interface(module_a, 1), "0003:28DE:2300.0002", 1);
        mcu = fake.add_usb_device(hub, 1, "2.4", "35bd", "0101", "MCU-1");
        root2 = fake.add_root_hub(2, FakeSystem::kVirtualController);
        module_b = fake.add_usb_device(root2, 2, "1", "28DE", "2300", long_serial);
        fake.add_hidraw(fake.add_interface(module_b, 0), "0003:28DE:2300.0003", 2);
        fake.add_hidraw(fake.add_interface(module_b, 1), "0003:28DE:2300.0004", 3);
        fake.add_hidraw(fake.add_interface(mcu, 0), "0003:35BD:0101.0005", 4);
    }
};

}  // namespace vesko::testing
