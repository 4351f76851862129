#include "control_pipe.h"

#include "devstack_protocol.h"
#include "pipe_io.h"

namespace vesko::devstack {
namespace {

constexpr std::u16string_view kDevicePrefix = u"\\\\?\\";
constexpr std::u16string_view kPipePrefix = u"\\\\.\\pipe\\";

std::string narrow(const std::u16string& text) {
    std::string out;
    for (const char16_t u : text) out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
    return out;
}

}  // namespace

std::u16string pipe_path_of(std::u16string_view device_path) {
    std::u16string_view rest = device_path;
    if (rest.substr(0, kDevicePrefix.size()) == kDevicePrefix) rest.remove_prefix(kDevicePrefix.size());
    return std::u16string(kPipePrefix) + std::u16string(rest);
}

ControlPipe::ControlPipe(platform::sim::SimBus& bus, std::wstring name)
    : bus_(bus), name_(std::move(name)), thread_([this] { serve(); }) {}

ControlPipe::~ControlPipe() {
    stop_ = true;
    thread_.join();
}

std::vector<std::string> ControlPipe::misuses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return misuses_;
}

std::map<std::string, unsigned long> ControlPipe::ledger() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ledger_;
}

void ControlPipe::serve() {
    const auto go_on = [this] { return !stop_.load(); };
    PipeEnd listening = PipeEnd::create(name_, 256 * 1024);
    while (!stop_ && listening.ok()) {
        if (!accept_client(listening, go_on)) {
            listening = PipeEnd::create(name_, 256 * 1024);  // a caller that left at once
            continue;
        }
        // A fresh instance listens before this one is served, so the name
        // never disappears under a caller.
        PipeEnd active = std::move(listening);
        listening = PipeEnd::create(name_, 256 * 1024);

        std::string request(64 * 1024, '\0');
        Pending read;
        DWORD got = 0;
        if (!started(ReadFile(active.get(), request.data(), static_cast<DWORD>(request.size()), nullptr, read.get())) ||
            !read.finish(active.get(), &got, go_on)) {
            continue;
        }
        request.resize(got);
        const std::string reply = answer(request);
        Pending write;
        if (started(WriteFile(active.get(), reply.data(), static_cast<DWORD>(reply.size()), nullptr, write.get()))) {
            write.finish(active.get(), nullptr, go_on);
        }
        FlushFileBuffers(active.get());
    }
}

std::string ControlPipe::answer(const std::string& request) {
    Reader in(request);
    const auto op = static_cast<Op>(in.word());
    Writer out;
    const auto fail = [] { return Writer().word(0).bytes(); };
    switch (op) {
        case Op::HidInterfaces: {
            const auto interfaces = bus_.hid_interfaces();
            if (!interfaces) return fail();
            out.word(1).word(static_cast<std::uint32_t>(interfaces->size()));
            for (const auto& i : *interfaces) out.word(i.ok ? 1 : 0).text(pipe_path_of(i.path)).word(i.node);
            break;
        }
        case Op::NodesUnder: {
            const auto nodes = bus_.nodes_under_enumerator(in.text());
            if (!nodes) return fail();
            out.word(1).word(static_cast<std::uint32_t>(nodes->size()));
            for (const auto n : *nodes) out.word(n);
            break;
        }
        case Op::Parent: {
            const auto up = bus_.parent(in.word());
            if (!up) return fail();
            out.word(1).word(*up);
            break;
        }
        case Op::DeviceId: {
            const auto node = bus_.node_info(in.word());
            if (!node || node->id_query_fails) return fail();
            out.word(1).text(node->instance_id);
            break;
        }
        case Op::LocationPaths: {
            const auto node = bus_.node_info(in.word());
            if (!node || !node->location_paths) return fail();
            out.word(1).text(*node->location_paths);
            break;
        }
        case Op::HidDevice: {
            // The file system names the pipe without its "\\.\pipe" part.
            std::u16string name = in.text();
            while (!name.empty() && name.front() == u'\\') name.erase(0, 1);
            const auto iface = bus_.interface_info(std::u16string(kDevicePrefix) + name);
            if (!iface || !iface->attributes) return fail();
            out.word(1).word(iface->attributes->vendor_id).word(iface->attributes->product_id);
            out.word(iface->attributes->version_number).text(iface->serial);
            break;
        }
        case Op::Misuse: {
            std::lock_guard<std::mutex> lock(mutex_);
            misuses_.push_back(narrow(in.text()));
            out.word(1);
            break;
        }
        case Op::Ledger: {
            const std::string what = narrow(in.text());
            const std::uint32_t count = in.word();
            std::lock_guard<std::mutex> lock(mutex_);
            ledger_[what] = count;
            out.word(1);
            break;
        }
        default: return fail();
    }
    return in.ok() ? out.bytes() : fail();
}

}  // namespace vesko::devstack
