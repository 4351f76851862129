#pragma once

// A sysfs tree and a /dev folder in a temporary directory, laid out as the
// kernel lays out USB devices, their interfaces and hidraw nodes: links
// relative, as the kernel writes them; every root hub with its hub interface
// (class 09) below a host controller of its own, on PCI or on the platform
// bus (vhci_hcd.N); hidraw nodes under a major number given out at boot.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vesko::testing {

class FakeSystem {
public:
    FakeSystem();
    FakeSystem(const FakeSystem&) = delete;
    FakeSystem& operator=(const FakeSystem&) = delete;
    ~FakeSystem();

    std::filesystem::path sys() const { return root_ / "sys"; }
    std::filesystem::path dev() const { return root_ / "dev"; }

    // A host controller on PCI, and one on the platform bus as the USB/IP
    // virtual controller is.
    static constexpr const char* kPciController = "pci0000:00/0000:00:14.0";
    static constexpr const char* kVirtualController = "platform/vhci_hcd.0";
    // The major number this system's hidraw nodes have.
    static constexpr unsigned kHidrawMajor = 246;

    // usb<bus> under the host controller at `controller` (below devices/),
    // with its interface "<bus>-0:1.0".
    std::filesystem::path add_root_hub(std::uint32_t bus, const std::string& controller = kPciController);

    // A USB device "<bus>-<devpath>" below `parent` (a hub directory).
    std::filesystem::path add_usb_device(const std::filesystem::path& parent, std::uint32_t bus,
                                         const std::string& devpath, const std::string& vendor,
                                         const std::string& product, std::optional<std::string> serial);

    // Interface "<device>:1.<n>" of class `interface_class` (03 HID, 09 hub).
    std::filesystem::path add_interface(const std::filesystem::path& device, unsigned number,
                                        const std::string& interface_class = "03");

    // A HID device below `interface` with its hidraw node; the /dev node is
    // a regular file unless the caller puts something else there.
    void add_hidraw(const std::filesystem::path& interface, const std::string& hid_name, unsigned hidraw_number);

    // The USB device at `device` leaves the bus: its folder, the bus and
    // class entries that led into it and its /dev nodes go.
    void remove_usb_device(const std::filesystem::path& device);

    static void write(const std::filesystem::path& file, const std::string& text);

private:
    void link_bus_entry(const std::filesystem::path& dir);
    // `link` -> `target`, written relative to the link's folder.
    static void link_relative(const std::filesystem::path& target, const std::filesystem::path& link);

    std::filesystem::path root_;
};

}  // namespace vesko::testing
