#pragma once

// SimBusFeed: the real stream reader over a simulated bus that plays the samples a test hands over.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "console/program.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"
#include "support/queued_reports.h"

namespace vesko::test {

// A sample source for console tests that runs the real reader: one module
// paired with an MCU on a simulated bus, whose HID interface plays the
// samples a test hands over, three to an input report. The constructing
// thread (the console's) and the reader take part in the bus clock, which
// stands still: nothing here sleeps on it, so the reader never sees a silent
// wait.
class SimBusFeed {
public:
    explicit SimBusFeed(std::u16string serial = u"KVR-TEST01");
    SimBusFeed(const SimBusFeed&) = delete;
    SimBusFeed& operator=(const SimBusFeed&) = delete;

    // Builds a VantisImu over the bus that prints on `streams`.
    ReaderFactory reader_factory(OutputStreams streams);

    // Plays `batch` in order and returns once every sample has gone through
    // the reader's callback. Only while the reader runs. A batch not a multiple of three is padded with
    // repeats of its last sample, which the reader drops.
    void deliver(const std::vector<ImuSample>& batch);

    platform::sim::SimBus& bus() { return bus_; }
    const simulator::SimModule& module() const { return module_; }

private:
    platform::sim::SimBus bus_;
    platform::sim::SimBus::Participation console_{bus_, "console", platform::sim::kConsoleRank};
    simulator::SimModule module_;
    std::shared_ptr<QueuedReports> source_;
};

}  // namespace vesko::test
