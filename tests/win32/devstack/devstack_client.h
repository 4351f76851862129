#pragma once

// The replacement DLLs' side of the control pipe: one request, one reply.

#include <optional>
#include <string>

#include "devstack_protocol.h"

namespace vesko::devstack {

// The reply's data after its leading 1, or nullopt when the host says the
// query fails, or there is no host (the variable unset, the pipe gone).
std::optional<std::string> ask(const Writer& request);

// Tells the host of a call refused for its arguments; the host reports each
// one when the program has ended, so a test sees every misuse even where the
// program copes with the failure.
void misuse(const char* function, const std::string& why);

// A resource count at process exit (for instance device-information lists
// never destroyed); the host reports those that are not zero.
void ledger(const char* what, unsigned long count);

}  // namespace vesko::devstack
