#pragma once

// The host's control pipe: answers the replacement DLLs' queries from the
// simulated bus, and keeps what they report (misused calls, resources left at
// exit) for the end of the run.

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_bus.h"

namespace vesko::devstack {

// "\\?\hid#..." (a device path on the bus) as the pipe that plays it:
// "\\.\pipe\hid#...".
std::u16string pipe_path_of(std::u16string_view device_path);

class ControlPipe {
public:
    ControlPipe(platform::sim::SimBus& bus, std::wstring name);
    ControlPipe(const ControlPipe&) = delete;
    ControlPipe& operator=(const ControlPipe&) = delete;
    ~ControlPipe();

    const std::wstring& name() const { return name_; }
    std::vector<std::string> misuses() const;
    std::map<std::string, unsigned long> ledger() const;  // what -> count, as last reported

private:
    void serve();
    std::string answer(const std::string& request);

    platform::sim::SimBus& bus_;
    const std::wstring name_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> misuses_;
    std::map<std::string, unsigned long> ledger_;
    std::thread thread_;
};

}  // namespace vesko::devstack
