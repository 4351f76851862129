#pragma once

// What Ctrl-C, a termination request or a closed console window does to a
// calibration session.

#include "platform/interrupts.h"

namespace vesko {

// The first interrupt stops the session as the operator's quit would, so
// that the runs accepted so far are summed up and not lost; a closed window
// is held until then, since the system ends the program as soon as its
// handler returns. Any later interrupt ends the program at once. Safe in a
// signal handler.
platform::InterruptAction interrupt_action(platform::InterruptKind kind, unsigned earlier);

}  // namespace vesko
