#pragma once

// The hubs above a device, cut from its location path at its "#USB(" hops.

#include <string>
#include <string_view>
#include <vector>

namespace vesko {

// The text that starts one USB hop in a location path; case significant.
inline constexpr std::u16string_view kUsbHop = u"#USB(";

// The location path cut back before its last "#USB(" hop, then before the
// one before it: at most two entries, nearest hub first. A path without a hop
// yields nothing; a hop at the very start yields an empty entry.
std::vector<std::u16string> hub_ancestors(std::u16string_view location);

}  // namespace vesko
