#pragma once

// ImuReader, the stream reader's contract, and the sample callback's type.

#include <string>

#include "imu/imu_sample.h"

namespace vesko {

// The stream reader as its owner sees it. Constructed with a sample callback
// (which it copies); Stopped until a successful start(), Running until stop().
// All operations are called from the owner's one thread; samples arrive only
// through the callback, on the reader's own thread, never with its lock held.
class ImuReader {
public:
    ImuReader() = default;
    ImuReader(const ImuReader&) = delete;
    ImuReader& operator=(const ImuReader&) = delete;
    virtual ~ImuReader() = default;

    // `serial` empty asks for the automatic choice of module. True once the
    // stream runs (at once, doing nothing, when already Running); false when
    // no module could be opened, after the reader printed its own diagnostic.
    virtual bool start(const char* serial) = 0;

    // False, leaving `out` and `age` untouched, until a first sample was
    // accepted; afterwards the latest sample and, when `age` is given, its age
    // in seconds. Keeps answering after stop() and during an outage.
    virtual bool last_sample(ImuSample& out, double* age) = 0;

    // Narrow name (serial number) of the module most recently opened.
    virtual std::string device_name() = 0;

    // Ends the stream; no callback runs after it returns. Harmless when
    // already Stopped. Must not be called from the callback.
    virtual void stop() = 0;
};

}  // namespace vesko
