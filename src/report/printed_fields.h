#pragma once

// Reading a line back by the printf format that wrote it: each conversion
// must hold text of the very form that printf gives it, and every number
// must be finite.

#include <optional>
#include <string_view>
#include <vector>

namespace vesko::report {

// The fields of `text` as `format` printed them (one per conversion, in
// order), or nullopt when `text` is not of that form. With `whole`, the text
// must end where the format ends (its line ends aside); otherwise whatever
// follows is left alone. Conversions read: %c, %d, %zu, %llu, %.Nf, %+.Nf,
// %g, %s (up to the format's next fixed character) and %%.
std::optional<std::vector<std::string_view>> printed_fields(std::string_view format, std::string_view text,
                                                            bool whole = true);

// A field read as a finite number; nullopt when it is not one.
std::optional<double> field_number(std::string_view field);

// A field read as a count (%zu, %llu); nullopt when it is not one or is past
// what the console's counter can hold.
std::optional<unsigned long long> field_count(std::string_view field);

}  // namespace vesko::report
