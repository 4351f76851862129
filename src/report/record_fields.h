#pragma once

// The fields of the report's records: figures written without rounding, CSV
// fields quoted as RFC 4180 asks, JSON strings and numbers.

#include <optional>
#include <string>

namespace vesko::report {

// A figure without rounding (%.17g); empty when there is none or it is not finite.
std::string exact(const std::optional<double>& v);

// RFC 4180: a field with a comma, a quote, a line end or any other control
// character is quoted, its quotes doubled.
std::string csv_field(const std::string& s);

// A JSON string, well-formed UTF-8 whatever the bytes: bytes that are not
// UTF-8 (a file name, a serial) become U+FFFD, one for each longest start of
// a sequence that they hold.
std::string json_string(const std::string& s);

// A JSON number without rounding, or null.
std::string json_number(const std::optional<double>& v);

}  // namespace vesko::report
