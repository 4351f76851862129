// The Linux backend's sysfs readers on a fake sysfs tree that the input lays
// out in a scratch folder: USB devices, interfaces and hidraw nodes in the
// kernel's layout, with attribute files that are missing, well formed or
// anything at all (past the 4 KiB the reader takes), links that dangle or
// loop, and hidraw nodes the process may not open.
//
// Checked: the scan lists parents before their children, and each hidraw
// node's device path leads back to that node; the seam's answers fit their
// buffers and every parent walk ends; what the system denies is one of the
// listed interfaces; and after discovery, once the chosen handle is closed,
// every descriptor the backend opened on a node is closed again.
//
// The input: a byte of hidraw numbers (mod 8) the system refuses to open,
// the requested serial, then up to 40 building steps (a byte picks the kind,
// then its fields; see build()).

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "discovery/open_imu_device.h"
#include "fuzz_input.h"
#include "platform/device_text.h"
#include "platform/linux/device_names.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/sysfs_tree.h"
#include "platform/linux/utf16.h"

namespace {

using namespace vesko;
using namespace vesko::platform::linux_hid;
using vesko::fuzz::InputCursor;
namespace fs = std::filesystem;

constexpr std::string_view kScratchStem = "rotabench-fuzz-sysfs-";

// The scratch folders of runs that ended without cleaning up (a crash ends
// the process at once): their process is gone.
void remove_stale_scratch(const fs::path& base) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kScratchStem, 0) != 0) continue;
        const std::string pid =
            name.substr(kScratchStem.size(), name.find('-', kScratchStem.size()) - kScratchStem.size());
        if (pid.empty() || fs::exists(fs::path("/proc") / pid, ec)) continue;
        fs::remove_all(entry.path(), ec);
    }
}

// The scratch folder of one input: made for it, removed after it (libFuzzer
// may end the process between inputs without running exit handlers).
class Scratch {
public:
    Scratch() {
        static const fs::path base = [] {
            std::error_code ec;
            const fs::path shm = "/dev/shm";
            const fs::path chosen = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
            remove_stale_scratch(chosen);
            return chosen;
        }();
        std::string pattern = (base / (std::string(kScratchStem) + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        root_ = fs::canonical(pattern);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const fs::path& root() const { return root_; }

    // Whether `path`, its links followed, lies inside.
    bool holds(const fs::path& path) const {
        std::error_code ec;
        const std::string real = fs::weakly_canonical(path, ec).string();
        const std::string prefix = root_.string() + "/";
        return !ec && real.rfind(prefix, 0) == 0;
    }

private:
    fs::path root_;
};

// Writes stay inside the scratch folder: never through a link the input made.
void write_file(const fs::path& file, std::string_view text) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) return;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// A folder or file name the input chose, kept inside its folder.
std::string name_from(std::string_view raw) {
    std::string name;
    for (const char c : raw.substr(0, 64)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
                           c == '.' || c == '-' || c == '_';
        name.push_back(plain ? c : '_');
    }
    if (name.empty() || name == "." || name == "..") name = "x";
    return name;
}

class TreeWriter {
public:
    TreeWriter(InputCursor& in, const Scratch& scratch) : in_(in), scratch_(scratch) {
        dirs_.push_back(sys_ / "devices");
    }

    void build() {
        for (int step = 0; step < 40 && !in_.done(); ++step) {
            switch (in_.byte() % 6) {
                case 0: usb_device(); break;
                case 1: usb_interface(); break;
                case 2: hidraw(); break;
                case 3: odd_link(); break;
                case 4: attribute(); break;
                default: stray_file(); break;
            }
        }
    }

private:
    const fs::path& some_dir() { return dirs_[in_.pick(dirs_.size())]; }

    // An attribute: absent (0), the value given (1), or any bytes (2).
    void attribute_file(const fs::path& dir, const char* name, const std::string& good) {
        switch (in_.byte() % 3) {
            case 0: break;
            case 1: write_file(dir / name, good + "\n"); break;
            default: write_file(dir / name, in_.short_text()); break;
        }
    }

    // A folder to build in, unless a link the input made leads it out of
    // the scratch folder.
    void make_dir(const fs::path& dir) {
        if (!scratch_.holds(dir)) return;
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (!ec && fs::is_directory(dir, ec) && scratch_.holds(dir)) dirs_.push_back(dir);
    }

    void link_entry(const fs::path& dir, const fs::path& folder) {
        std::error_code ec;
        fs::create_symlink(dir, folder / dir.filename(), ec);
    }

    void usb_device() {
        const fs::path parent = some_dir();
        const unsigned bus = in_.byte() % 4;
        const std::string devpath = name_from(in_.short_text());
        const std::uint8_t form = in_.byte();
        std::string name;
        switch (form & 0x03) {  // 0x80: the devpath attribute says "0" (a root hub)
            case 0: name = std::to_string(bus) + "-" + devpath; break;
            case 1: name = "usb" + std::to_string(bus); break;
            default: name = name_from(in_.short_text()); break;
        }
        const fs::path dir = parent / name;
        make_dir(dir);
        static const char* const kVendors[] = {"28de", "35bd", "05e3", "1d6b"};
        static const char* const kProducts[] = {"2300", "0101", "0610", "0002"};
        const std::size_t kind = in_.pick(4);
        attribute_file(dir, "idVendor", kVendors[kind]);
        attribute_file(dir, "idProduct", kProducts[kind]);
        attribute_file(dir, "busnum", std::to_string(bus));
        attribute_file(dir, "devpath", form & 0x80 ? "0" : devpath);
        attribute_file(dir, "bcdDevice", "0100");
        attribute_file(dir, "serial", "KVR-0042");
        attribute_file(dir, "bNumInterfaces", " 2");
        if (in_.flag()) link_entry(dir, sys_ / "bus" / "usb" / "devices");
    }

    void usb_interface() {
        const fs::path device = some_dir();
        const unsigned number = in_.byte();
        const fs::path dir = device / (device.filename().string() + ":1." + std::to_string(number));
        make_dir(dir);
        char text[8];
        std::snprintf(text, sizeof text, "%02x", number);
        attribute_file(dir, "bInterfaceNumber", text);
        if (in_.flag()) link_entry(dir, sys_ / "bus" / "usb" / "devices");
    }

    void hidraw() {
        const fs::path interface = some_dir();
        const unsigned number = in_.byte();
        const std::uint8_t flags = in_.byte();
        const std::string hid_name =
            flags & 0x01 ? name_from(in_.short_text()) : "0003:28DE:2300.000" + std::to_string(number % 10);
        const std::string name = "hidraw" + std::to_string(number);
        const fs::path node_dir = interface / hid_name / "hidraw" / name;
        make_dir(node_dir);
        std::error_code ec;
        fs::create_directory_symlink(flags & 0x02 ? "../../.." : "../..", node_dir / "device", ec);
        attribute_file(node_dir, "dev", "244:" + std::to_string(number));
        if ((flags & 0x04) == 0) fs::create_directory_symlink(node_dir, sys_ / "class" / "hidraw" / name, ec);
        if ((flags & 0x08) == 0) write_file(dev_ / name, "");
    }

    // A link where the tree is read: to itself, up, nowhere or elsewhere.
    void odd_link() {
        const std::uint8_t where = in_.byte();
        fs::path folder;
        std::string name = name_from(in_.short_text());
        switch (where % 3) {
            case 0: folder = sys_ / "bus" / "usb" / "devices"; break;
            case 1:
                folder = sys_ / "class" / "hidraw";
                name = "hidraw" + std::to_string(where);
                break;
            default: folder = some_dir(); break;
        }
        fs::path target;
        switch (in_.byte() % 5) {
            case 0: target = name; break;  // itself: a loop
            case 1: target = ".."; break;
            case 2: target = "../.."; break;
            case 3: target = "missing"; break;
            default: target = some_dir(); break;
        }
        std::error_code ec;
        fs::create_symlink(target, folder / name, ec);
    }

    void attribute() {
        static const char* const kNames[] = {"idVendor", "idProduct", "busnum",         "devpath",         "bcdDevice",
                                             "serial",   "dev",       "bNumInterfaces", "bInterfaceNumber"};
        const fs::path& dir = some_dir();
        const char* name = kNames[in_.pick(sizeof kNames / sizeof kNames[0])];
        const std::string_view text = in_.long_text(5000);
        std::string big;
        if (in_.flag()) big.assign(4100, 'f');  // past what the reader takes
        write_file(dir / name, big + std::string(text));
    }

    // A file where a folder is looked for.
    void stray_file() {
        const fs::path& dir = some_dir();
        write_file(dir / name_from(in_.short_text()), in_.short_text());
    }

    InputCursor& in_;
    const Scratch& scratch_;
    const fs::path sys_ = scratch_.root() / "sys";
    const fs::path dev_ = scratch_.root() / "dev";
    std::vector<fs::path> dirs_;
};

struct NodeOpener {
    std::vector<int> given;   // every descriptor handed to the backend
    std::uint8_t denied = 0;  // hidraw numbers (mod 8) the system refuses

    int open(const char* path, int flags) {
        const std::string name = fs::path(path).filename().string();
        const unsigned number = static_cast<unsigned>(std::atoi(name.c_str() + 6));
        if (denied & (1u << (number % 8))) {
            errno = EACCES;
            return -1;
        }
        const int fd = ::open(path, flags);
        if (fd >= 0) given.push_back(fd);
        return fd;
    }
};

bool ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

void check_snapshot(const fs::path& sys) {
    const std::optional<TreeSnapshot> snapshot = scan_tree(sys);
    FUZZ_CHECK(snapshot.has_value());
    for (std::size_t i = 0; i < snapshot->nodes.size(); ++i) {
        const TreeNode& node = snapshot->nodes[i];
        if (node.parent) FUZZ_CHECK(*node.parent < i);
        FUZZ_CHECK(ascii(node.instance_id));
        if (node.location) FUZZ_CHECK(ascii(*node.location));
    }
    for (const HidrawEntry& entry : snapshot->hidraw) {
        FUZZ_CHECK(entry.node < snapshot->nodes.size());
        FUZZ_CHECK(ascii(entry.device_path));
        const auto named = hidraw_name_from_path(ascii_to_utf16(entry.device_path));
        FUZZ_CHECK(named && *named == entry.name);
        if (const auto identity = identify_hidraw(sys, entry.name)) {
            if (identity->serial) (void)utf8_to_utf16(*identity->serial);
        }
    }
}

void check_platform(LinuxPlatform& platform, const std::u16string& requested) {
    const auto all = platform.nodes_under_enumerator(u"");
    FUZZ_CHECK(all.has_value());
    for (const platform::DevNode node : *all) {
        // Parents come before children, so every walk up ends.
        std::optional<platform::DevNode> up = node;
        std::size_t steps = 0;
        while (up && steps <= all->size()) {
            up = platform.parent(*up);
            ++steps;
        }
        FUZZ_CHECK(!up);
        if (const auto id = platform.device_instance_id(node)) {
            FUZZ_CHECK(!id->empty() && id->size() <= platform::kDeviceIdUnits && id->back() == u'\0');
        }
        if (const auto paths = platform.location_paths(node)) {
            FUZZ_CHECK(paths->size() >= 2 && paths->size() <= platform::kLocationPathsUnits);
            FUZZ_CHECK(paths->substr(paths->size() - 2) == std::u16string(2, u'\0'));
        }
    }
    if (const auto mcus = platform.nodes_under_enumerator(u"USB\\VID_35BD&PID_0101")) {
        FUZZ_CHECK(mcus->size() <= all->size());
    }

    const auto interfaces = platform.hid_interfaces();
    FUZZ_CHECK(interfaces.has_value());
    std::set<std::u16string> paths;
    for (const platform::HidInterfaceDetail& detail : *interfaces) {
        paths.insert(detail.path);
        const platform::Handle handle = platform.open_device(detail.path);
        if (handle == platform::kInvalidHandle) continue;
        (void)platform.attributes(handle);
        FUZZ_CHECK(platform.serial_number(handle).size() == platform::kSerialNumberUnits);
        platform.close(handle);
    }
    for (const platform::DeniedInterface& denied : platform.denied_interfaces()) {
        FUZZ_CHECK(paths.count(denied.path) == 1);
    }

    const OutputStreams quiet{fuzz::null_stream(), fuzz::null_stream()};
    std::u16string serial;
    const platform::Handle device = open_imu_device(platform, requested, &serial, true, quiet);
    report_denied_modules(platform, quiet.err);
    if (device != platform::kInvalidHandle) {
        const auto attributes = platform.attributes(device);
        FUZZ_CHECK(attributes && attributes->vendor_id == 0x28DE && attributes->product_id == 0x2300);
        platform.close(device);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Whatever stays open for the process is opened first, so that it never
    // takes the number of a descriptor the backend opened and closed.
    (void)fuzz::null_stream();
    const Scratch scratch;
    const fs::path sys = scratch.root() / "sys";
    const fs::path dev = scratch.root() / "dev";
    std::error_code ec;
    for (const fs::path& folder : {sys / "bus" / "usb" / "devices", sys / "class" / "hidraw", sys / "devices", dev}) {
        fs::create_directories(folder, ec);
        FUZZ_CHECK(!ec);
    }

    InputCursor in(data, size);
    NodeOpener opener;
    opener.denied = in.byte();
    const std::string_view requested = in.short_text();
    TreeWriter(in, scratch).build();

    check_snapshot(sys);
    {
        LinuxPlatform platform(sys, dev, [&opener](const char* path, int flags) { return opener.open(path, flags); });
        check_platform(platform, platform::widen(requested));
        // Closed handles are closed at once: nothing the backend opened on a
        // node is still open, before the backend itself goes away.
        for (const int fd : opener.given) FUZZ_CHECK(::fcntl(fd, F_GETFD) == -1 && errno == EBADF);
    }
    return 0;
}
