#pragma once

#include <string>
#include <string_view>

namespace vesko {

// Narrow to wide: each byte widened as a signed 8-bit value, so ASCII maps to
// itself. No code-page conversion.
std::u16string widen(std::string_view narrow);

// Wide to narrow: the low 8 bits of each unit. No code-page conversion.
std::string narrow(std::u16string_view wide);

// The text up to the first NUL of a buffer the platform filled; the whole
// buffer when it holds no NUL.
std::u16string_view up_to_nul(std::u16string_view buffer);

// UTF-8 form of a UTF-16 text, for printing serial numbers and paths;
// unpaired surrogates become U+FFFD.
std::string to_utf8(std::u16string_view wide);

}  // namespace vesko
