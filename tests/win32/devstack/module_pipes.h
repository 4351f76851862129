#pragma once

// The HID interfaces of the simulated bus as named pipes: each interface's
// pipe listens while the interface is on the bus, and every client that
// connects is served the interface's input reports, one message each, read
// from the bus as a reader would. An interface that leaves the bus takes its
// pipe with it: connected clients lose their far end, new opens fail.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_bus.h"

namespace vesko::devstack {

class PipeEnd;

class ModulePipes {
public:
    // Serves every HID interface the bus has now (present or not).
    explicit ModulePipes(platform::sim::SimBus& bus);
    ModulePipes(const ModulePipes&) = delete;
    ModulePipes& operator=(const ModulePipes&) = delete;
    ~ModulePipes();

private:
    void listen(std::u16string device_path);
    void serve(const std::u16string& device_path, PipeEnd& pipe);
    bool present(const std::u16string& device_path) const;

    platform::sim::SimBus& bus_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

}  // namespace vesko::devstack
