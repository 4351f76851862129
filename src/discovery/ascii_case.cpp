#include "discovery/ascii_case.h"

namespace vesko {

std::u16string ascii_upper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& u : out) {
        if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
    }
    return out;
}

std::u16string ascii_lower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& u : out) {
        if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u - u'A' + u'a');
    }
    return out;
}

}  // namespace vesko
