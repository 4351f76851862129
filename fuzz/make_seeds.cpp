// Writes the binary seeds of fuzz/corpus: `fuzz-seeds DIR` fills
// DIR/report-stream, DIR/discovery and DIR/sysfs. Each seed is written with
// InputWriter, field for field as its target reads it, so the comments here
// say what the target will build. (The scenario seeds are the example
// scenarios themselves.)

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "discovery_pieces.h"
#include "fuzz_input.h"
#include "imu/input_report.h"

namespace {

using namespace vesko;
using vesko::fuzz::InputWriter;
namespace fs = std::filesystem;

void save(const fs::path& dir, const std::string& name, const InputWriter& w) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(w.data().data()), static_cast<std::streamsize>(w.data().size()));
    std::printf("%s: %zu bytes\n", (dir / name).c_str(), w.data().size());
}

// --- report stream ---------------------------------------------------------

constexpr std::uint32_t kTicksPerMs = 48'000;
constexpr std::uint16_t kSteadyStep = 563;  // x 256 ticks: 3 ms, one report at 1 kHz

// The module's samples as they go out: seq and timestamp move on with each.
struct Module {
    std::uint8_t seq = 250;  // wraps early
    std::uint32_t timestamp = 4294967296u - 200u * kTicksPerMs;

    std::vector<std::uint8_t> report(std::int16_t gx, std::int16_t gy, std::int16_t gz, std::size_t length = 52) {
        std::vector<std::uint8_t> out(std::max(length, kImuReportMinLength), 0);
        out[0] = kImuReportId;
        for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
            ImuSample s;
            s.accel[2] = 2048;
            s.gyro[0] = gx;
            s.gyro[1] = gy;
            s.gyro[2] = gz;
            s.seq = seq++;
            s.timestamp = timestamp;
            timestamp += kTicksPerMs;
            encode_sample_slot(s, out.data() + 1 + kSampleSlotSize * k);
        }
        out.resize(length);  // a report cut short loses the end of its last slot
        return out;
    }
    // Where the stream stands after `reports` replays of the last report.
    void replayed(std::size_t reports) {
        seq = static_cast<std::uint8_t>(seq + 3 * reports);
        timestamp += static_cast<std::uint32_t>(reports) * kSteadyStep * 256u;
    }
};

void read_of(InputWriter& w, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() <= 0x40) {
        w.byte(static_cast<std::uint8_t>(bytes.size()));
    } else {
        w.byte(static_cast<std::uint8_t>(0x41 + bytes.size() - 52));  // 52..64
    }
    w.bytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void steady(InputWriter& w, Module& m, std::uint8_t fours) {
    w.byte(0x84);
    w.byte(fours);
    w.u16(kSteadyStep);
    m.replayed(4u * fours);
}

constexpr std::uint8_t kBiasCapture = 0x80;
constexpr std::uint8_t kRun180 = 0x89;
constexpr std::uint8_t kReconnect = 0x82;
constexpr std::uint8_t kEnter = 0x83;  // ends a window; on its own, the summary

// A whole session: a full bias window, then a 180-degree run about X that
// the console accepts, then the summary.
InputWriter session() {
    InputWriter w;
    Module m;
    w.byte(kBiasCapture);
    read_of(w, m.report(3, -5, 2));
    steady(w, m, 84);  // 1011 samples in the window
    w.byte(kEnter);
    w.byte(kRun180);
    read_of(w, m.report(3, -5, 2));  // while the arming question waits
    w.byte(kEnter);
    read_of(w, m.report(1500, 10, -5));
    steady(w, m, 60);  // 0.72 s of turning
    w.byte(kEnter);
    w.byte(kEnter);
    return w;
}

// Reports cut every way: short, long, empty, another ID, one byte short.
InputWriter cut_reads() {
    InputWriter w;
    Module m;
    const auto whole = m.report(1, 2, 3, 64);
    w.byte(10);
    w.bytes(std::string_view(reinterpret_cast<const char*>(whole.data()), 10));
    w.byte(42);
    w.bytes(std::string_view(reinterpret_cast<const char*>(whole.data()) + 10, 42));
    read_of(w, whole);
    auto short_one = m.report(1, 2, 3, 51);
    read_of(w, short_one);
    auto other_id = m.report(1, 2, 3, 52);
    other_id[0] = 0x21;
    read_of(w, other_id);
    w.byte(0);
    read_of(w, m.report(4, 5, 6, 60));
    return w;
}

// A run with repeats, a stale report, the seq wrap, a reconnect with the
// counter starting over, a host clock jump, and a gap of a second.
InputWriter faults_in_run() {
    InputWriter w;
    Module m;
    w.byte(kRun180);
    w.byte(kEnter);
    const auto first = m.report(800, 0, 0);
    read_of(w, first);
    read_of(w, first);  // repeated
    const auto second = m.report(800, 0, 0);
    read_of(w, m.report(800, 0, 0));
    read_of(w, second);  // stale
    w.byte(kReconnect);
    m.seq = 0;
    read_of(w, m.report(800, 0, 0));
    w.byte(0x85);
    w.u32(5'000'000);
    m.timestamp += 1000 * kTicksPerMs;
    read_of(w, m.report(800, 0, 0));
    steady(w, m, 50);
    w.byte(kEnter);
    return w;
}

// --- discovery ---------------------------------------------------------------

using vesko::fuzz::Piece;

// A text of pieces and plain characters.
struct Text {
    std::vector<std::uint8_t> units;
    Text& piece(Piece p) {
        units.push_back(p);
        return *this;
    }
    Text& chars(std::string_view s) {
        for (char c : s) units.push_back(static_cast<std::uint8_t>(c));
        return *this;
    }
    Text& doubled() {
        units.push_back(vesko::fuzz::kDoubleText);
        return *this;
    }
    void write(InputWriter& w) const {
        w.byte(static_cast<std::uint8_t>(units.size()));
        for (auto u : units) w.byte(u);
    }
};

enum DiscoveryStep : std::uint8_t { kHub = 0, kMcu = 1, kModule = 2, kRawNode = 3, kRawInterface = 4 };

// some_node(): 0 none, N the N-th node (while N is at most the count).
void node_ref(InputWriter& w, std::uint8_t node) { w.byte(node); }

void hub(InputWriter& w, std::uint8_t parent, const Text& location) {
    w.byte(kHub);
    node_ref(w, parent);
    location.write(w);
}

void mcu(InputWriter& w, std::uint8_t hub_node, const Text& location) {
    w.byte(kMcu);
    node_ref(w, hub_node);
    location.write(w);
    w.byte(0);  // no more paths
}

void module(InputWriter& w, const Text& serial, std::uint8_t hub_node, const Text& location, std::uint8_t flags = 0) {
    w.byte(kModule);
    serial.write(w);
    node_ref(w, hub_node);
    location.write(w);
    w.byte(flags);
}

Text root() { return Text().piece(vesko::fuzz::kRootHubLocation); }

// Root hub (node 1), a hub on its port 1 (node 2), the MCU on that hub's
// port 4 (node 3) and a module on its port 2 (nodes 4 to 8).
void paired_bench(InputWriter& w) {
    hub(w, 0, root());
    hub(w, 1, root().piece(vesko::fuzz::kUsbPort1));
    mcu(w, 2,
        root().piece(vesko::fuzz::kUsbPort1).piece(vesko::fuzz::kUsbHop).chars("4").piece(vesko::fuzz::kCloseParen));
    module(w, Text().piece(vesko::fuzz::kSerial), 2,
           root().piece(vesko::fuzz::kUsbPort1).piece(vesko::fuzz::kUsbPort2));
}

InputWriter one_paired_module() {
    InputWriter w;
    w.byte(0x04);     // discovery prints
    Text().write(w);  // no serial asked for
    paired_bench(w);
    return w;
}

// A second module on the root hub (not paired), asked for by its serial.
InputWriter two_modules_by_serial() {
    InputWriter w;
    w.byte(0x04);
    Text().piece(vesko::fuzz::kSerialStem).chars("9").write(w);
    paired_bench(w);
    module(w, Text().piece(vesko::fuzz::kSerialStem).chars("9"), 1, root().piece(vesko::fuzz::kUsbPort2));
    return w;
}

// The bench, then nodes whose parents dangle or loop, an instance ID and a
// location value too long for their buffers, and an interface 00 below the
// loop with a serial past its 128 units.
InputWriter odd_tree() {
    InputWriter w;
    w.byte(0x00);
    Text().write(w);
    paired_bench(w);
    // Node 9: parent far past the last node; an ID of exactly 200 units (no
    // room for its NUL) and a location value past 512.
    w.byte(kRawNode);
    w.byte(0xFF);
    w.u32(0x7fffffff);
    Text().piece(vesko::fuzz::kModuleUsbId).chars("XYZ").doubled().doubled().doubled().write(w);  // 200 units
    w.byte(0x01);  // with a location value
    root().piece(vesko::fuzz::kUsbPort1).doubled().doubled().doubled().doubled().write(w);
    // Node 10, child of node 11, which is the child of node 10.
    w.byte(kRawNode);
    w.byte(11);
    Text().piece(vesko::fuzz::kModuleInterfaceId).chars("A").write(w);
    w.byte(0x00);
    w.byte(kRawNode);
    w.byte(10);
    Text().piece(vesko::fuzz::kModuleUsbId).piece(vesko::fuzz::kSerial).write(w);
    w.byte(0x01);
    root().piece(vesko::fuzz::kUsbPort2).write(w);
    // Interface 00 on node 10.
    w.byte(kRawInterface);
    Text().piece(vesko::fuzz::kFirstInterfacePath).chars("loop").write(w);
    w.byte(10);
    w.byte(0x00);
    Text().piece(vesko::fuzz::kSerial).doubled().doubled().doubled().doubled().doubled().write(w);
    return w;
}

// --- sysfs -------------------------------------------------------------------

enum SysfsStep : std::uint8_t { kUsbDevice = 0, kInterface = 1, kHidraw = 2, kOddLink = 3, kAttribute = 4 };
enum Attr : std::uint8_t { kAbsent = 0, kGood = 1, kOwn = 2 };
enum Kind : std::uint8_t { kTracker = 0, kMcuKind = 1, kHubKind = 2, kRootHubKind = 3 };

struct Sysfs {
    InputWriter w;
    std::uint8_t dirs = 1;  // sys/devices is folder 0

    std::uint8_t usb_device(std::uint8_t parent, std::uint8_t bus, std::string_view devpath, Kind kind,
                            std::string_view serial = {}) {
        const bool root_hub = kind == kRootHubKind;
        w.byte(kUsbDevice);
        w.byte(parent);
        w.byte(bus);
        w.short_text(devpath);
        w.byte(root_hub ? 0x81 : 0x00);  // "usbN" with devpath 0, or "N-devpath"
        w.byte(kind);
        for (int a = 0; a < 4; ++a) w.byte(kGood);  // idVendor idProduct busnum devpath
        w.byte(kGood);                              // bcdDevice
        if (serial.empty()) {
            w.byte(kAbsent);
        } else {
            w.byte(kOwn);
            w.short_text(serial);
        }
        w.byte(kind == kTracker ? kGood : kAbsent);  // bNumInterfaces " 2"
        w.byte(1);                                   // listed in bus/usb/devices
        return dirs++;
    }
    std::uint8_t interface(std::uint8_t device, std::uint8_t number) {
        w.byte(kInterface);
        w.byte(device);
        w.byte(number);
        w.byte(kGood);
        w.byte(1);
        return dirs++;
    }
    std::uint8_t hidraw(std::uint8_t interface_dir, std::uint8_t number, std::uint8_t flags = 0) {
        w.byte(kHidraw);
        w.byte(interface_dir);
        w.byte(number);
        w.byte(flags);
        w.byte(kGood);  // dev
        return dirs++;
    }
};

// The tests' bench: a hub on port 2 of bus 1 with the module (two HID
// interfaces) on its port 3 and the MCU on its port 4.
Sysfs bench(std::uint8_t denied, std::string_view requested) {
    Sysfs s;
    s.w.byte(denied);
    s.w.short_text(requested);
    const auto root_hub = s.usb_device(0, 1, "", kRootHubKind);
    const auto hub_dir = s.usb_device(root_hub, 1, "2", kHubKind);
    const auto module_dir = s.usb_device(hub_dir, 1, "2.3", kTracker, "KVR-A1");
    s.hidraw(s.interface(module_dir, 0), 0);
    s.hidraw(s.interface(module_dir, 1), 1);
    const auto mcu_dir = s.usb_device(hub_dir, 1, "2.4", kMcuKind, "MCU-1");
    s.interface(mcu_dir, 0);
    return s;
}

InputWriter sysfs_bench() { return bench(0, "").w; }

InputWriter sysfs_denied_by_serial() { return bench(0x01, "KVR-A1").w; }

// The bench with links that loop and dangle, an attribute past 4 KiB and a
// hidraw node whose /dev entry is missing.
InputWriter sysfs_odd() {
    Sysfs s = bench(0, "");
    s.w.byte(kOddLink);
    s.w.byte(4);  // in class/hidraw, named by this byte: hidraw4
    s.w.short_text("");
    s.w.byte(0);  // to itself
    s.w.byte(kOddLink);
    s.w.byte(0);  // in bus/usb/devices
    s.w.short_text("9-9");
    s.w.byte(3);  // to nowhere
    s.w.byte(kAttribute);
    s.w.byte(3);  // the module's folder
    s.w.byte(5);  // serial
    s.w.long_text("KVR-LONG");
    s.w.byte(1);  // after 4100 bytes
    s.hidraw(4, 7, 0x08);
    return s.w;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds OUT_DIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    save(out / "report-stream", "session", session());
    save(out / "report-stream", "cut-reads", cut_reads());
    save(out / "report-stream", "faults-in-run", faults_in_run());
    save(out / "discovery", "one-paired-module", one_paired_module());
    save(out / "discovery", "two-modules-by-serial", two_modules_by_serial());
    save(out / "discovery", "odd-tree", odd_tree());
    save(out / "sysfs", "bench", sysfs_bench());
    save(out / "sysfs", "denied-by-serial", sysfs_denied_by_serial());
    save(out / "sysfs", "odd-links", sysfs_odd());
    return 0;
}
