#pragma once

// open_imu_device: enumeration of the modules, the choice of one, and the count and cannot-pick
// lines.

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "text/streams.h"

namespace vesko {

// Finds the tracking module to stream from among the present HID interfaces
// (interface 00 of 28DE:2300), opens it and hands its handle to the caller.
// With `requested_serial` empty, the one module that shares a hub with a
// headset MCU is chosen; otherwise the module with exactly that serial.
// `out_serial` (may be null) receives the chosen module's serial and is left
// alone when nothing is chosen. With `verbose`, prints the count line on
// `streams.out` and, when modules exist but none is chosen, the cannot-pick
// report on `streams.err`. Returns kInvalidHandle when nothing is chosen; in
// every case no other handle opened here stays open. Any thread, one call at
// a time per platform handle set.
platform::Handle open_imu_device(platform::Platform& platform, std::u16string_view requested_serial,
                                 std::u16string* out_serial, bool verbose, const OutputStreams& streams);

// One line on `err` for each tracking module the system lists but will not
// let this process open (a hidraw node a fresh Linux system gives to root
// alone): the node, the module's serial where the system tells it, and the
// fix. Nothing where opening asks no permission.
void report_denied_modules(platform::Platform& platform, TextSink err);

}  // namespace vesko
