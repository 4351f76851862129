#pragma once

// A sysfs tree and a /dev folder in a temporary directory, laid out as the
// kernel lays out USB devices, their interfaces and hidraw nodes.

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

    // usb<bus> under a host controller.
    std::filesystem::path add_root_hub(std::uint32_t bus);

    // A USB device "<bus>-<devpath>" below `parent` (a hub directory).
    std::filesystem::path add_usb_device(const std::filesystem::path& parent, std::uint32_t bus,
                                         const std::string& devpath, const std::string& vendor,
                                         const std::string& product, std::optional<std::string> serial);

    // Interface "<device>:1.<n>".
    std::filesystem::path add_interface(const std::filesystem::path& device, unsigned number);

    // A HID device below `interface` with its hidraw node; the /dev node is
    // a regular file unless the caller puts something else there.
    void add_hidraw(const std::filesystem::path& interface, const std::string& hid_name, unsigned hidraw_number);

    static void write(const std::filesystem::path& file, const std::string& text);

private:
    void link_bus_entry(const std::filesystem::path& dir);

    std::filesystem::path root_;
};

}  // namespace vesko::testing
