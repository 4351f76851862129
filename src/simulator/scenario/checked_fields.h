#pragma once

// FieldReader: reads the fields of a TOML table one checked key at a time.
// The first error is kept, as "SOURCE:LINE: key "KEY": WHAT"; every reader
// returns false once it has failed, so callers can `return r.fail(...)`.
// A field that is absent leaves the value as it was (its default). Each
// table is read through a Section and closed with `done`, which refuses the
// keys it holds that no read looked up.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario/scenario.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/scenario/section.h"
#include "simulator/scenario/toml_reader.h"

namespace vesko::simulator {

// A number as the scenario's errors show it ("%g").
std::string format_number(double v);

class FieldReader {
public:
    explicit FieldReader(std::string source) : source_(std::move(source)) {}

    const std::string& error() const { return error_; }

    bool fail(const toml::node& at, const std::string& key, const std::string& what) {
        return fail_at(at.source().begin.line, key, what);
    }
    bool fail_at(std::uint32_t line, const std::string& key, const std::string& what);

    // The table has been read: the first key it holds that was never looked
    // up is refused as unknown. Notes the names the table accepts.
    bool done(const Section& s);
    const std::vector<TableKeys>& tables() const { return tables_; }

    // A finite number, integer or floating.
    bool number(const toml::node& n, const std::string& key, double& out);
    bool number_in(Section& s, std::string_view name, double& out, double lo, double hi);
    bool integer_in(Section& s, std::string_view name, std::int64_t& out, std::int64_t lo, std::int64_t hi);
    bool string_in(Section& s, std::string_view name, std::string& out);
    bool boolean_in(Section& s, std::string_view name, bool& out);
    // One number for all three axes, or three (X, Y, Z).
    bool triple(const toml::node& n, const std::string& key, Vec3& out, bool positive);
    // A port number or a chain of them, "2.1".
    bool ports(const toml::node& n, const std::string& key, PortChain& out);
    // "x", "y" or "z" (either case): 0, 1, 2. Required.
    bool axis(Section& s, int& out);

private:
    std::string source_;
    std::string error_;
    std::vector<TableKeys> tables_;
};

}  // namespace vesko::simulator
