#pragma once

// toml++, configured as the scenario reader needs it: no exceptions, and its
// own assertions neither checked nor assumed.
#define TOML_EXCEPTIONS 0
// The reader checks its own assumptions with assert(), or, where NDEBUG is
// set, tells the compiler to take them as given. Some of them fail on
// malformed text (a table header "[:", a '}' where an array expects a
// value) that its error paths then report as they should; so they are
// neither checked nor assumed, and such text ends in a syntax error.
#define TOML_ASSERT(expr) static_assert(true)
#pragma push_macro("NDEBUG")
#undef NDEBUG
#include <toml++/toml.h>
#pragma pop_macro("NDEBUG")
