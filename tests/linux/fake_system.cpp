#include "fake_system.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace vesko::testing {

namespace fs = std::filesystem;

FakeSystem::FakeSystem() {
    std::string pattern = (fs::temp_directory_path() / "rotabench-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    fs::create_directories(sys() / "bus" / "usb" / "devices");
    fs::create_directories(sys() / "class" / "hidraw");
    fs::create_directories(sys() / "devices" / kPciController);
    fs::create_directories(sys() / "devices" / kVirtualController);
    fs::create_directories(dev());
}

FakeSystem::~FakeSystem() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void FakeSystem::write(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

void FakeSystem::link_relative(const fs::path& target, const fs::path& link) {
    fs::create_symlink(target.lexically_relative(link.parent_path()), link);
}

void FakeSystem::link_bus_entry(const fs::path& dir) {
    link_relative(dir, sys() / "bus" / "usb" / "devices" / dir.filename());
}

fs::path FakeSystem::add_root_hub(std::uint32_t bus, const std::string& controller) {
    const fs::path dir = sys() / "devices" / controller / ("usb" + std::to_string(bus));
    fs::create_directories(dir);
    write(dir / "idVendor", "1d6b\n");
    write(dir / "idProduct", "0002\n");
    write(dir / "bcdDevice", "0601\n");
    write(dir / "busnum", std::to_string(bus) + "\n");
    write(dir / "devpath", "0\n");
    write(dir / "serial", fs::path(controller).filename().string() + "\n");
    link_bus_entry(dir);
    add_interface(dir, 0, "09");
    return dir;
}

fs::path FakeSystem::add_usb_device(const fs::path& parent, std::uint32_t bus, const std::string& devpath,
                                    const std::string& vendor, const std::string& product,
                                    std::optional<std::string> serial) {
    const fs::path dir = parent / (std::to_string(bus) + "-" + devpath);
    fs::create_directories(dir);
    write(dir / "idVendor", vendor + "\n");
    write(dir / "idProduct", product + "\n");
    write(dir / "bcdDevice", "0102\n");
    write(dir / "busnum", std::to_string(bus) + "\n");
    write(dir / "devpath", devpath + "\n");
    if (serial) {
        write(dir / "serial", *serial + "\n");
    }
    link_bus_entry(dir);
    return dir;
}

fs::path FakeSystem::add_interface(const fs::path& device, unsigned number, const std::string& interface_class) {
    // A root hub "usbN" names its interfaces "N-0:1.n".
    std::string name = device.filename().string();
    if (name.rfind("usb", 0) == 0) name = name.substr(3) + "-0";
    const fs::path dir = device / (name + ":1." + std::to_string(number));
    fs::create_directories(dir);
    char text[8];
    std::snprintf(text, sizeof text, "%02x\n", number);
    write(dir / "bInterfaceNumber", text);
    write(dir / "bInterfaceClass", interface_class + "\n");
    link_bus_entry(dir);
    // The device counts its interfaces, right-aligned in two columns.
    unsigned count = 0;
    for (const auto& entry : fs::directory_iterator(device))
        count += entry.path().filename().string().find(':') != std::string::npos;
    std::snprintf(text, sizeof text, "%2u\n", count);
    write(device / "bNumInterfaces", text);
    return dir;
}

void FakeSystem::add_hidraw(const fs::path& interface, const std::string& hid_name, unsigned hidraw_number) {
    const std::string name = "hidraw" + std::to_string(hidraw_number);
    const fs::path node_dir = interface / hid_name / "hidraw" / name;
    fs::create_directories(node_dir);
    fs::create_directory_symlink("../..", node_dir / "device");
    write(node_dir / "dev", std::to_string(kHidrawMajor) + ":" + std::to_string(hidraw_number) + "\n");
    link_relative(node_dir, sys() / "class" / "hidraw" / name);
    write(dev() / name, "");
}

void FakeSystem::remove_usb_device(const fs::path& device) {
    fs::remove_all(device);
    for (const fs::path& folder : {sys() / "bus" / "usb" / "devices", sys() / "class" / "hidraw"}) {
        std::vector<fs::path> dangling;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!fs::exists(entry.path())) dangling.push_back(entry.path());
        }
        for (const fs::path& link : dangling) {
            fs::remove(link);
            if (folder.filename() == "hidraw") fs::remove(dev() / link.filename());
        }
    }
}

}  // namespace vesko::testing
