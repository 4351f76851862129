#pragma once

// ImuCandidate: one tracking module found by discovery, still open, and whether it is MCU-paired.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vesko {

// One module that passed every filter of discovery, in the order found.
struct ImuCandidate {
    platform::Handle handle = platform::kInvalidHandle;  // open until the choice is made
    std::u16string serial;                               // HID serial number; empty when the module has none
    bool paired = false;                                 // shares a hub with a headset MCU
};

// The selection rule. With a requested serial: the first candidate whose
// serial is the same text exactly (case significant, no prefix). Without one:
// the paired candidate when exactly one is paired. nullopt: none chosen.
std::optional<std::size_t> choose_candidate(const std::vector<ImuCandidate>& candidates,
                                            std::u16string_view requested_serial);

}  // namespace vesko
