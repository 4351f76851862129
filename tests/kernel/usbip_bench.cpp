// usbip-bench: one case of the real-kernel bench, run inside the guest.
//
// It plays the devices of a scenario file to the kernel over USB/IP: each
// tracking module (28DE:2300, composite, interface 0 HID streaming reports of
// ID 0x20 from the simulator's module model) and each headset MCU (35BD:0101)
// is attached to a port of a vhci_hcd controller through one end of a
// socketpair, and this program serves the device side of the protocol on the
// other end. Devices whose port chains share a hub share a controller (one
// root hub); another hub is another controller, so another bus.
//
// Then it starts rotabench with a pipe on its standard input, plays the
// scenario's operator against the questions rotabench prints (turning the
// model's jig, unplugging and silencing the module, pressing Ctrl-C), and
// holds what rotabench printed and its exit code to the scenario's
// expectations, and the summary's means to the model's true scales. It prints
// one line "CASE <name> PASS|FAIL ..." and exits 0 on a pass.
//
//   usbip-bench [--as-user UID] [--rotabench PATH] CASE.toml

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "discovery/hub_ancestors.h"
#include "platform/interrupts.h"
#include "simulator/model/module_model.h"
#include "simulator/scenario/expectations.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/bench.h"
#include "simulator/session/bus_layout.h"
#include "simulator/session/scripted_operator.h"
#include "text/streams.h"

namespace {

using namespace vesko;
using namespace vesko::simulator;

std::int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// ---- descriptors --------------------------------------------------------

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xff));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Vendor-defined input reports of `count` bytes for each of `ids`.
Bytes report_descriptor(unsigned usage_page, std::initializer_list<std::uint8_t> ids, std::uint8_t count) {
    Bytes d = {0x06,
               static_cast<std::uint8_t>(usage_page & 0xff),
               static_cast<std::uint8_t>(usage_page >> 8),
               0x09,
               0x01,
               0xA1,
               0x01};
    std::uint8_t usage = 2;
    for (std::uint8_t id : ids)
        d.insert(d.end(), {0x85, id, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, count, 0x09, usage++, 0x81, 0x02});
    d.push_back(0xC0);
    return d;
}

struct Interface {
    Bytes report;  // its HID report descriptor
};

struct DeviceShape {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string serial;  // empty: none
    std::vector<Interface> interfaces;
};

Bytes device_descriptor(const DeviceShape& s) {
    Bytes d = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
    put16(d, s.vendor);
    put16(d, s.product);
    put16(d, 0x0100);
    d.insert(d.end(), {1, 2, static_cast<std::uint8_t>(s.serial.empty() ? 0 : 3), 1});
    return d;
}

Bytes config_descriptor(const DeviceShape& s) {
    Bytes d = {9, 2, 0, 0, static_cast<std::uint8_t>(s.interfaces.size()), 1, 0, 0x80, 50};
    for (std::size_t i = 0; i < s.interfaces.size(); ++i) {
        const auto n = static_cast<std::uint8_t>(i);
        d.insert(d.end(), {9, 4, n, 0, 1, 3, 0, 0, 0});
        d.insert(d.end(), {9, 0x21, 0x11, 0x01, 0, 1, 0x22});
        put16(d, static_cast<unsigned>(s.interfaces[i].report.size()));
        d.insert(d.end(), {7, 5, static_cast<std::uint8_t>(0x81 + n), 3, 64, 0, 1});
    }
    d[2] = static_cast<std::uint8_t>(d.size() & 0xff);
    d[3] = static_cast<std::uint8_t>(d.size() >> 8);
    return d;
}

Bytes string_descriptor(const std::string& text) {
    Bytes d = {0, 3};
    for (char c : text) put16(d, static_cast<unsigned char>(c));
    d[0] = static_cast<std::uint8_t>(d.size());
    return d;
}

DeviceShape module_shape(const std::string& serial) {
    return {0x28DE,
            0x2300,
            serial,
            {{report_descriptor(0xFF00, {0x20, 0x21}, 63)}, {report_descriptor(0xFF01, {0x01}, 8)}}};
}

DeviceShape mcu_shape() { return {0x35BD, 0x0101, "", {{report_descriptor(0xFF02, {0x01}, 8)}}}; }

// ---- the device side of USB/IP ---------------------------------------------

constexpr std::uint32_t kCmdSubmit = 1, kCmdUnlink = 2, kRetSubmit = 3, kRetUnlink = 4;
constexpr std::size_t kHeader = 48;

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
void put_be32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

bool read_all(int fd, std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

bool write_all(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

const char kVhci[] = "/sys/devices/platform/vhci_hcd.0/";
constexpr int kPortsPerController = 2 * 15;  // high-speed then SuperSpeed ports of one vhci_hcd

bool write_sysfs(const std::string& file, const std::string& text) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// One emulated USB device on one vhci port: a thread answering the kernel's
// requests while it is plugged in.
class Device {
public:
    Device(DeviceShape shape, int controller, int port, std::shared_ptr<ModuleModel> model)
        : shape_(std::move(shape)), controller_(controller), port_(port), model_(std::move(model)) {}
    ~Device() { unplug(); }

    std::string usb_name() const { return std::to_string(2 * controller_ + 1) + "-" + std::to_string(port_); }

    bool plug() {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
        const int vhci_port = controller_ * kPortsPerController + port_ - 1;
        const std::uint32_t devid =
            (static_cast<std::uint32_t>(controller_ + 1) << 16) | static_cast<std::uint32_t>(port_);
        const std::string line =
            std::to_string(vhci_port) + " " + std::to_string(sv[1]) + " " + std::to_string(devid) + " 2";  // full speed
        if (model_) model_->power_on(now_ns());
        const bool ok = write_sysfs(std::string(kVhci) + "attach", line);
        ::close(sv[1]);
        if (!ok) {
            std::fprintf(stderr, "usbip-bench: attach \"%s\" refused: %s\n", line.c_str(), std::strerror(errno));
            ::close(sv[0]);
            return false;
        }
        fd_ = sv[0];
        stop_ = false;
        thread_ = std::thread([this] { serve(); });
        return true;
    }

    // The cable out: the port detached and the socket closed.
    void unplug() {
        if (fd_ < 0) return;
        write_sysfs(std::string(kVhci) + "detach", std::to_string(controller_ * kPortsPerController + port_ - 1));
        stop_ = true;
        thread_.join();
        ::close(fd_);
        fd_ = -1;
        if (model_) model_->power_off();
    }

private:
    void serve();
    bool control(const std::uint8_t* setup, Bytes& reply, std::int32_t& status);
    bool ret_submit(std::uint32_t seqnum, std::int32_t status, const Bytes& data);

    const DeviceShape shape_;
    const int controller_;
    const int port_;
    const std::shared_ptr<ModuleModel> model_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

bool Device::ret_submit(std::uint32_t seqnum, std::int32_t status, const Bytes& data) {
    std::uint8_t h[kHeader] = {};
    put_be32(h, kRetSubmit);
    put_be32(h + 4, seqnum);
    put_be32(h + 20, static_cast<std::uint32_t>(status));
    put_be32(h + 24, static_cast<std::uint32_t>(data.size()));
    return write_all(fd_, h, kHeader) && (data.empty() || write_all(fd_, data.data(), data.size()));
}

// A request on endpoint 0: false with -EPIPE (a stall) for what the device does not know.
bool Device::control(const std::uint8_t* setup, Bytes& reply, std::int32_t& status) {
    const std::uint8_t type = setup[0], request = setup[1];
    const unsigned value = setup[2] | (setup[3] << 8), index = setup[4] | (setup[5] << 8);
    status = 0;
    if (request == 6 && (type == 0x80 || type == 0x81)) {  // GET_DESCRIPTOR
        const unsigned kind = value >> 8, n = value & 0xff;
        if (type == 0x80 && kind == 1) reply = device_descriptor(shape_);
        else if (type == 0x80 && kind == 2) reply = config_descriptor(shape_);
        else if (type == 0x80 && kind == 3 && n == 0) reply = {4, 3, 0x09, 0x04};
        else if (type == 0x80 && kind == 3 && n == 1) reply = string_descriptor("rotabench bench");
        else if (type == 0x80 && kind == 3 && n == 2)
            reply = string_descriptor(shape_.vendor == 0x28DE ? "tracking module" : "headset MCU");
        else if (type == 0x80 && kind == 3 && n == 3 && !shape_.serial.empty())
            reply = string_descriptor(shape_.serial);
        else if (type == 0x81 && kind == 0x22 && index < shape_.interfaces.size())
            reply = shape_.interfaces[index].report;
        else return status = -EPIPE, false;
        return true;
    }
    if (type == 0x80 && request == 0) return reply = {0, 0}, true;  // GET_STATUS
    if (type == 0x80 && request == 8) return reply = {1}, true;     // GET_CONFIGURATION
    if (type == 0x00 && request == 9) return true;                  // SET_CONFIGURATION
    if (type == 0x01 && request == 11) return true;                 // SET_INTERFACE
    if (type == 0x21 && request == 0x0A) return true;               // SET_IDLE
    return status = -EPIPE, false;
}

void Device::serve() {
    std::deque<std::uint32_t> reads;  // interrupt IN transfers of interface 0, waiting for a report
    while (!stop_) {
        int timeout_ms = 20;
        const std::int64_t now = now_ns();
        if (model_ && !reads.empty()) {
            if (const auto due = model_->next_report_time())
                timeout_ms = static_cast<int>(std::clamp<std::int64_t>((*due - now + 999'999) / 1'000'000, 0, 20));
        }
        pollfd p{fd_, POLLIN, 0};
        const int n = ::poll(&p, 1, timeout_ms);
        if (n < 0 && errno != EINTR) return;
        if (n > 0) {
            std::uint8_t h[kHeader];
            if (!read_all(fd_, h, kHeader)) return;  // the kernel let the device go
            const std::uint32_t command = be32(h), seqnum = be32(h + 4), direction = be32(h + 12), ep = be32(h + 16);
            if (command == kCmdUnlink) {
                const std::uint32_t victim = be32(h + 20);
                const auto it = std::find(reads.begin(), reads.end(), victim);
                const bool found = it != reads.end();
                if (found) reads.erase(it);
                std::uint8_t r[kHeader] = {};
                put_be32(r, kRetUnlink);
                put_be32(r + 4, seqnum);
                put_be32(r + 20, static_cast<std::uint32_t>(found ? -ECONNRESET : 0));
                if (!write_all(fd_, r, kHeader)) return;
            } else if (command == kCmdSubmit) {
                const std::uint32_t length = be32(h + 24);
                Bytes out;
                if (direction == 0 && length > 0) {
                    out.resize(length);
                    if (!read_all(fd_, out.data(), length)) return;
                }
                if (ep == 0) {
                    Bytes reply;
                    std::int32_t status = 0;
                    control(h + 40, reply, status);
                    if (direction == 0) reply.clear();
                    if (reply.size() > length) reply.resize(length);
                    if (!ret_submit(seqnum, status, reply)) return;
                } else if (direction == 1 && ep == 1 && model_) {
                    reads.push_back(seqnum);
                }
                // Other IN endpoints never have a report: their transfers wait until unlinked.
            }
        }
        while (model_ && !reads.empty()) {
            const auto due = model_->next_report_time();
            if (!due || *due > now_ns()) break;
            Bytes report(64);
            report.resize(model_->take_report(now_ns(), report.data(), report.size()));
            if (!ret_submit(reads.front(), 0, report)) return;
            reads.pop_front();
        }
    }
}

// ---- the bench the operator reaches ------------------------------------------

struct Placed {
    std::string serial;  // empty for an MCU
    std::shared_ptr<ModuleModel> model;
    std::unique_ptr<Device> device;
};

// What rotabench writes, gathered while the operator waits, and the
// unplugs and replugs due meanwhile.
class KernelBench final : public Bench {
public:
    KernelBench(std::vector<Placed>& placed, const std::string& jig) : placed_(placed) {
        for (Placed& p : placed_)
            if (!p.serial.empty() && p.serial == jig) jig_ = &p;
    }

    void start(pid_t child, int out_fd, int err_fd) {
        child_ = child;
        out_fd_ = out_fd;
        err_fd_ = err_fd;
    }

    std::int64_t now_ns() override { return ::now_ns(); }
    void sleep_until(std::int64_t t_ns) override {
        while (::now_ns() < t_ns && pump(t_ns)) {
        }
    }
    std::int64_t turn_jig(const TurnJig& turn) override {
        if (jig_ == nullptr) return ::now_ns();
        const JigTurn t = jig_->model->turn(turn.axis, turn.degrees, std::llround(turn.seconds * 1e9), ::now_ns());
        return t.start_ns + t.duration_ns;
    }
    void fault(const FaultStep& step) override {
        Placed* m = jig_;
        for (Placed& p : placed_)
            if (!step.module.empty() && p.serial == step.module) m = &p;
        if (m == nullptr) return;
        const std::int64_t at = ::now_ns() + std::llround(step.delay * 1e9);
        if (const auto* stream = std::get_if<StreamFault>(&step.what)) {
            m->model->inject(*stream, at);
            return;
        }
        const std::int64_t back = at + std::llround(std::get<Unplug>(step.what).seconds * 1e9);
        schedule(at, [m] { m->device->unplug(); });
        schedule(back, [m] { m->device->plug(); });
    }
    void press_ctrl_c() override {
        ::kill(child_, SIGINT);
        interrupted_ = platform::interrupted_exit_code();
    }
    int interrupted() override { return interrupted_; }

    // Reads what rotabench writes and carries out what is due, until `until_ns`
    // or until something was read; false once rotabench has closed both streams.
    bool pump(std::int64_t until_ns) {
        run_due();
        if (out_fd_ < 0 && err_fd_ < 0) return false;
        std::int64_t until = until_ns;
        if (!scheduled_.empty()) until = std::min(until, scheduled_.front().first);
        pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
        const int wait_ms = static_cast<int>(std::clamp<std::int64_t>((until - ::now_ns()) / 1'000'000, 0, 100));
        if (::poll(fds, 2, wait_ms) > 0) {
            gather(fds[0], out_fd_, out);
            gather(fds[1], err_fd_, err);
        }
        run_due();
        return true;
    }

    std::string out;  // rotabench's standard output with the operator's lines, as a terminal shows them
    std::string err;

private:
    static void gather(const pollfd& p, int& fd, std::string& into) {
        if (fd < 0 || p.revents == 0) return;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(fd);
            fd = -1;
        }
    }
    void schedule(std::int64_t at, std::function<void()> action) {
        auto pos = std::upper_bound(scheduled_.begin(), scheduled_.end(), at,
                                    [](std::int64_t v, const auto& s) { return v < s.first; });
        scheduled_.insert(pos, {at, std::move(action)});
        run_due();
    }
    void run_due() {
        while (!scheduled_.empty() && scheduled_.front().first <= ::now_ns()) {
            auto action = std::move(scheduled_.front().second);
            scheduled_.erase(scheduled_.begin());
            action();
        }
    }

    std::vector<Placed>& placed_;
    Placed* jig_ = nullptr;
    pid_t child_ = -1;
    int out_fd_ = -1, err_fd_ = -1;
    int interrupted_ = 0;
    std::vector<std::pair<std::int64_t, std::function<void()>>> scheduled_;
};

// The hub of a port chain (all but its last port) names the controller, the
// last port is the device's port on that controller's root hub.
struct Controllers {
    std::map<PortChain, int> index;
    std::pair<int, int> place(const PortChain& ports) {
        const PortChain hub(ports.begin(), ports.end() - 1);
        const auto [it, added] = index.emplace(hub, static_cast<int>(index.size()));
        return {it->second, ports.back()};
    }
};

// A case's bus must pair here as it pairs on the simulated bus, where a
// module and an MCU pair through a common hub up to two hops above them:
// here only one controller's root hub pairs them.
bool pairs_alike(const PortChain& module, const PortChain& mcu) {
    const auto a = hub_ancestors(location_of(module)), b = hub_ancestors(location_of(mcu));
    const bool simulated =
        std::any_of(a.begin(), a.end(), [&](const auto& x) { return std::find(b.begin(), b.end(), x) != b.end(); });
    return simulated == (PortChain(module.begin(), module.end() - 1) == PortChain(mcu.begin(), mcu.end() - 1));
}

std::size_t hidraw_count() {
    std::error_code ec;
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/sys/class/hidraw", ec)) {
        if (::access(("/dev/" + e.path().filename().string()).c_str(), F_OK) == 0) ++n;
    }
    return n;
}

bool wait_for(const std::function<bool()>& ready, double seconds) {
    const std::int64_t end = now_ns() + std::llround(seconds * 1e9);
    while (!ready()) {
        if (now_ns() > end) return false;
        ::usleep(10'000);
    }
    return true;
}

// The summary's means against the jig module's truth: every axis with runs within 0.05%.
std::optional<std::string> truth_unmet(const std::string& out, const ModuleParams& truth, std::string& block) {
    const std::size_t head = out.rfind("==== summary (");
    if (head == std::string::npos) return std::nullopt;
    std::optional<std::string> unmet;
    for (int a = 0; a < 3; ++a) {
        const std::string tag = std::string("\n") + "XYZ"[a] + ": ";
        const std::size_t at = out.find(tag, head);
        int runs = 0;
        double mean = 0;
        if (at == std::string::npos ||
            std::sscanf(out.c_str() + at + tag.size(), "%d runs  mean %lf", &runs, &mean) != 2)
            continue;
        const double scale = truth.gyro_scale[static_cast<std::size_t>(a)];
        const double error = mean / scale - 1.0;
        char line[160];
        std::snprintf(line, sizeof line, "%c: true %.9f  summary %.9f  error %+.4f%%\n", "XYZ"[a], scale, mean,
                      error * 100);
        block += line;
        if (std::fabs(error) > 0.0005 && !unmet) unmet = std::string("summary off the truth: ") + line;
    }
    return unmet;
}

int run_case(const std::string& path, std::optional<uid_t> as_user, const std::string& rotabench) {
    const std::string name = std::filesystem::path(path).stem().string();
    const ScenarioLoad load = load_scenario_file(path);
    if (!load.scenario) {
        std::printf("CASE %s FAIL %s\n", name.c_str(), load.error.c_str());
        return 1;
    }
    const Scenario& sc = *load.scenario;
    const std::int64_t started = now_ns();

    for (const ModulePlacement& m : sc.modules)
        for (const McuPlacement& u : sc.mcus)
            if (!pairs_alike(m.ports, u.ports))
                return std::printf("CASE %s FAIL %s pairs otherwise on the simulated bus\n", name.c_str(),
                                   m.serial.c_str()),
                       1;
    std::vector<Placed> placed;
    Controllers controllers;
    for (const McuPlacement& m : sc.mcus) {
        const auto [c, port] = controllers.place(m.ports);
        placed.push_back({"", nullptr, std::make_unique<Device>(mcu_shape(), c, port, nullptr)});
    }
    for (const ModulePlacement& m : sc.modules) {
        const auto [c, port] = controllers.place(m.ports);
        // The kernel's hidraw queue is the driver's backlog here: the model
        // keeps every report until the kernel asks for it, as a late USB poll would.
        ModuleParams params = m.params;
        params.backlog_reports = std::int64_t{1} << 40;
        auto model = std::make_shared<ModuleModel>(params, now_ns());
        placed.push_back({m.serial, model, std::make_unique<Device>(module_shape(m.serial), c, port, model)});
    }
    std::size_t nodes = 0;
    for (Placed& p : placed) {
        if (!p.device->plug()) return std::printf("CASE %s FAIL cannot attach\n", name.c_str()), 1;
        nodes += p.serial.empty() ? 1 : 2;
    }
    if (!wait_for([&] { return hidraw_count() >= nodes; }, 15))
        return std::printf("CASE %s FAIL %zu of %zu hidraw nodes\n", name.c_str(), hidraw_count(), nodes), 1;
    const std::int64_t enumerated = now_ns();

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0)
        return 1;
    std::vector<std::string> args = {rotabench};
    if (sc.serial) args.insert(args.end(), {"--imu-serial", *sc.serial});
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        ::signal(SIGPIPE, SIG_DFL);  // rotabench meets a closed pipe as a shell would start it
        if (as_user && (::setgid(*as_user) != 0 || ::setuid(*as_user) != 0)) _exit(126);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    int to_child = in_pipe[1];

    KernelBench bench(placed, sc.jig_module);
    bench.start(child, out_pipe[0], err_pipe[0]);
    TextBuffer echo;
    ScriptedOperator op(sc.script, bench, TextSink(echo), sc.errors);
    std::size_t answered = 0;  // the transcript's length when the operator last answered
    std::size_t echoed = 0;
    while (bench.pump(now_ns() + 100'000'000)) {
        const std::string& o = bench.out;
        const bool asked =
            to_child >= 0 && o.size() > answered && o.size() >= 2 && o.compare(o.size() - 2, 2, ": ") == 0;
        if (!asked) continue;
        std::string line;
        int c = 0;
        while ((c = op.read_char()) != EOF) {
            line.push_back(static_cast<char>(c));
            if (c == '\n') break;
        }
        bench.out += echo.text().substr(echoed);  // the line as the terminal echoes it
        echoed = echo.size();
        answered = bench.out.size();
        if (!line.empty() && ::write(to_child, line.data(), line.size()) < 0) {
            ::close(to_child);
            to_child = -1;
        }
        if (c == EOF && bench.interrupted() == 0) {
            ::close(to_child);
            to_child = -1;
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (to_child >= 0) ::close(to_child);
    const int exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const std::int64_t finished = now_ns();
    for (Placed& p : placed) p.device->unplug();
    wait_for([] { return hidraw_count() == 0; }, 10);

    std::optional<std::string> unmet;
    if (sc.expect) unmet = first_unmet(*sc.expect, false, exit_code, bench.out, bench.err);
    // Faults that cut, drop or reorder reports lose samples on purpose: their
    // runs need only be accepted, the rest sit within 0.05% of the truth.
    const bool loses_samples = std::any_of(sc.script.begin(), sc.script.end(), [](const OperatorStep& step) {
        const auto* f = std::get_if<FaultStep>(&step);
        const auto* stream = f != nullptr ? std::get_if<StreamFault>(&f->what) : nullptr;
        return stream != nullptr && !std::holds_alternative<Silence>(*stream);
    });
    std::string truth;
    for (const Placed& p : placed)
        if (!p.serial.empty() && p.serial == sc.jig_module) {
            const auto off = truth_unmet(bench.out, p.model->params(), truth);
            if (!unmet && !loses_samples) unmet = off;
        }
    const double seconds = static_cast<double>(finished - started) / 1e9;
    const double attach = static_cast<double>(enumerated - started) / 1e9;
    if (!unmet) {
        std::printf("%sCASE %s PASS %.1f s (attach %.2f s, exit %d)\n", truth.c_str(), name.c_str(), seconds, attach,
                    exit_code);
        return 0;
    }
    std::printf("---- stdout\n%s\n---- stderr\n%s---- truth\n%sCASE %s FAIL (exit %d, %.1f s): %s\n", bench.out.c_str(),
                bench.err.c_str(), truth.c_str(), name.c_str(), exit_code, seconds, unmet->c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<uid_t> as_user;
    std::string rotabench = "/bin/rotabench";
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--as-user" && i + 1 < argc) as_user = static_cast<uid_t>(std::stoul(argv[++i]));
        else if (a == "--rotabench" && i + 1 < argc) rotabench = argv[++i];
        else file = a;
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: usbip-bench [--as-user UID] [--rotabench PATH] CASE.toml\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // An answer written after rotabench has ended is an error of write(), not the end of the case.
    ::signal(SIGPIPE, SIG_IGN);
    return run_case(file, as_user, rotabench);
}
