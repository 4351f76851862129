#pragma once

// reader_options_on: the stream reader's options for a simulated bus, whose
// virtual clock the reader thread takes part in.

#include "imu/vantis_imu.h"
#include "platform/sim/sim_bus.h"

namespace vesko::simulator {

// Options that start the reader's thread as a participant of the bus's clock
// (rank: the reader's) and join it as one, printing on `streams`. In Real
// mode the thread is a plain one.
inline VantisImuOptions reader_options_on(platform::sim::SimBus& bus, OutputStreams streams) {
    VantisImuOptions options;
    options.streams = streams;
    options.start_thread = [&bus](std::function<void()> body) {
        return bus.start_thread("reader", platform::sim::kReaderRank, std::move(body));
    };
    options.join_thread = [&bus](std::thread& thread) { bus.join_thread(thread); };
    return options;
}

}  // namespace vesko::simulator
