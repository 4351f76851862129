#pragma once

// VirtualTimeDriver: moves a virtual bus clock while the console and the reader both wait.

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "platform/sim/sim_bus.h"
#include "simulator/bus_layout.h"
#include "simulator/wait_mark.h"

namespace vesko::simulator {

// Where the clock may go next, given what the two threads of the program
// publish: nullopt to hold it (a thread is at work, or a released thread has
// not resumed yet, or a report is due that the reader has not taken), else a
// time later than `now_ns`, at most `max_step_ns` ahead and never past a
// waiting thread's deadline.
std::optional<std::int64_t> next_clock_stop(std::int64_t now_ns, std::optional<std::int64_t> console_deadline,
                                            std::optional<std::int64_t> reader_deadline, bool report_waiting,
                                            std::int64_t max_step_ns);

// Moves a virtual bus clock while the program runs. The bus itself knows
// only that some thread waits; this driver also waits for both of the
// program's threads, so the clock never races a thread that works. Should a
// thread stay at work for 20 ms of real time (the console joining the reader,
// say), it moves on regardless, in bounded steps.
class VirtualTimeDriver {
public:
    VirtualTimeDriver(platform::sim::SimBus& bus, const WaitMark& console, const WaitMark& reader,
                      const std::vector<PlacedModule>& modules);
    ~VirtualTimeDriver();
    VirtualTimeDriver(const VirtualTimeDriver&) = delete;
    VirtualTimeDriver& operator=(const VirtualTimeDriver&) = delete;

private:
    void run();
    bool report_waiting(std::int64_t now_ns) const;

    platform::sim::SimBus& bus_;
    const WaitMark& console_;
    const WaitMark& reader_;
    const std::vector<PlacedModule>& modules_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace vesko::simulator
