#pragma once

#include <string>
#include <string_view>

namespace vesko {

// Letter case of device texts as the runtime's towupper/towlower see them in
// the default locale: only the ASCII letters change, every other unit stays.
std::u16string ascii_upper(std::u16string_view text);
std::u16string ascii_lower(std::u16string_view text);

}  // namespace vesko
