#include "module_pipes.h"

#include "control_pipe.h"
#include "pipe_io.h"

#include <memory>

namespace vesko::devstack {
namespace {

// A thousand reports, three seconds of them: far more than the HID class
// driver keeps (32 by default), so that a program starved of the processor
// for a moment on a loaded test machine still sees every report and its
// figures do not depend on the load.
constexpr DWORD kOutBuffer = 1000 * 64;

}  // namespace

ModulePipes::ModulePipes(platform::sim::SimBus& bus) : bus_(bus) {
    const auto interfaces = bus_.hid_interfaces();
    if (!interfaces) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& i : *interfaces) threads_.emplace_back([this, path = i.path] { listen(path); });
}

ModulePipes::~ModulePipes() {
    stop_ = true;
    // Sessions may still be added by a listener until it has seen the stop.
    for (std::size_t joined = 0;;) {
        std::thread next;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (joined == threads_.size()) break;
            next = std::move(threads_[joined++]);
        }
        next.join();
    }
}

bool ModulePipes::present(const std::u16string& device_path) const {
    return bus_.interface_info(device_path).has_value();
}

void ModulePipes::listen(std::u16string device_path) {
    const std::u16string pipe_path = pipe_path_of(device_path);
    const std::wstring name(pipe_path.begin(), pipe_path.end());
    while (!stop_) {
        if (!present(device_path)) {
            Sleep(10);
            continue;
        }
        PipeEnd pipe = PipeEnd::create(name, kOutBuffer);
        if (!pipe.ok()) {
            Sleep(10);
            continue;
        }
        if (!accept_client(pipe, [&] { return !stop_ && present(device_path); })) continue;
        // The session owns the connected instance from here.
        auto session = std::make_unique<PipeEnd>(std::move(pipe));
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.emplace_back([this, device_path, session = std::move(session)] { serve(device_path, *session); });
    }
}

void ModulePipes::serve(const std::u16string& device_path, PipeEnd& pipe) {
    const platform::Handle device = bus_.open_device(device_path);
    const platform::Handle event = bus_.create_event();

    // A read on the server end that finishes when the client closes its end.
    Pending watch;
    char ignored = 0;
    ReadFile(pipe.get(), &ignored, 1, nullptr, watch.get());
    const auto client_here = [&] { return !stop_ && !watch.done(); };

    while (device != platform::kInvalidHandle && event != platform::kNoHandle && client_here()) {
        platform::OverlappedRecord record;
        std::uint8_t report[64];
        const platform::ReadIssue issue = bus_.begin_read(device, event, record, report, sizeof report);
        std::uint32_t bytes = issue.bytes;
        if (issue.status == platform::ReadStatus::Failed) break;
        if (issue.status == platform::ReadStatus::Pending) {
            bool finished = false;
            while (!(finished = bus_.wait(event, 10) == platform::WaitStatus::Finished) && client_here()) {
            }
            if (!finished) {
                bus_.cancel_read(device, record);
                bus_.read_result(device, record, true);
                break;
            }
            const platform::ReadOutcome outcome = bus_.read_result(device, record, false);
            if (!outcome.ok) break;  // the interface left the bus
            bytes = outcome.bytes;
        }
        Pending write;
        if (!started(WriteFile(pipe.get(), report, bytes, nullptr, write.get())) ||
            !write.finish(pipe.get(), nullptr, client_here)) {
            break;
        }
    }
    // A device that leaves fails the read waiting on it: the client has
    // drained what was sent and waits on its next read before the pipe goes.
    if (!stop_ && client_here()) Sleep(50);
    if (device != platform::kInvalidHandle) bus_.close(device);
    if (event != platform::kNoHandle) bus_.close(event);
    pipe.reset();
}

}  // namespace vesko::devstack
