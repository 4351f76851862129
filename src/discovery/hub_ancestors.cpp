#include "discovery/hub_ancestors.h"

namespace vesko {

std::vector<std::u16string> hub_ancestors(std::u16string_view location) {
    std::vector<std::u16string> out;
    std::u16string_view rest = location;
    for (int level = 0; level < 2; ++level) {
        const auto hop = rest.rfind(kUsbHop);
        if (hop == std::u16string_view::npos) break;
        rest = rest.substr(0, hop);
        out.emplace_back(rest);
    }
    return out;
}

}  // namespace vesko
