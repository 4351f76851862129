#include "simulator/scenario/scenario_sections.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <regex>

#include "platform/interrupts.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/scenario/script_steps.h"

namespace vesko::simulator {
namespace {

// Fewer samples per second than this cannot fill a report a second; more is
// beyond any real module.
constexpr double kMinRateHz = 3.0;
constexpr double kMaxRateHz = 10000.0;

// Longer than any line of the console's, with its figures written as patterns.
constexpr std::size_t kMaxPatternChars = 1000;

bool has_back_reference(const std::string& pattern) {
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] != '\\') continue;
        if (pattern[i + 1] >= '1' && pattern[i + 1] <= '9') return true;
        ++i;  // the escaped character
    }
    return false;
}

bool model(FieldReader& r, const toml::table& table, const std::string& key, ModuleParams& p) {
    Section t(table, key);
    if (!r.number_in(t, "rate_hz", p.sample_rate_hz, kMinRateHz, kMaxRateHz)) return false;
    if (const toml::node* n = t.get("scale"); n && !r.triple(*n, t.key("scale"), p.gyro_scale, true)) return false;
    if (const toml::node* n = t.get("bias"); n && !r.triple(*n, t.key("bias"), p.gyro_bias, false)) return false;
    if (!r.number_in(t, "noise_sd", p.gyro_noise_sd, 0.0, 10000.0)) return false;
    if (const toml::node* n = t.get("coupling")) {
        const std::string k = t.key("coupling");
        Mat3 c{};
        if (n->is_number()) {
            double x = 0;
            if (!r.number(*n, k, x)) return false;
            c = {{{0, x, x}, {x, 0, x}, {x, x, 0}}};
        } else if (const auto* rows = n->as_array(); rows && rows->size() == 3) {
            for (std::size_t i = 0; i < 3; ++i) {
                const auto* row = rows->get(i)->as_array();
                if (row == nullptr || row->size() != 3)
                    return r.fail(*rows->get(i), k, "each row must hold three numbers");
                for (std::size_t j = 0; j < 3; ++j) {
                    const std::string kij = k + "[" + std::to_string(i) + "][" + std::to_string(j) + "]";
                    if (!r.number(*row->get(j), kij, c[i][j])) return false;
                    if (i == j && c[i][j] != 0.0) return r.fail(*row->get(j), kij, "the diagonal must be 0");
                }
            }
        } else {
            return r.fail(*n, k, "must be a number (every off-diagonal term) or three rows of three numbers");
        }
        for (const Vec3& row : c)
            for (double x : row)
                if (std::fabs(x) > 0.5) return r.fail(*n, k, "a coupling must lie between -0.5 and 0.5");
        p.coupling = c;
    }
    if (!r.number_in(t, "accel_counts_per_g", p.accel_counts_per_g, 1.0, 32767.0)) return false;
    if (!r.number_in(t, "accel_noise_sd", p.accel_noise_sd, 0.0, 10000.0)) return false;
    std::int64_t seed = static_cast<std::int64_t>(p.noise_seed);
    if (!r.integer_in(t, "seed", seed, 0, std::numeric_limits<std::int64_t>::max())) return false;
    p.noise_seed = static_cast<std::uint64_t>(seed);
    std::int64_t ts = p.first_timestamp;
    if (!r.integer_in(t, "first_timestamp", ts, 0, 0xFFFFFFFFll)) return false;
    p.first_timestamp = static_cast<std::uint32_t>(ts);
    std::int64_t seq = p.first_seq;
    if (!r.integer_in(t, "first_seq", seq, 0, 255)) return false;
    p.first_seq = static_cast<std::uint8_t>(seq);
    return r.done(t);
}

bool more_paths(FieldReader& r, Section& t, MoreLocationPaths& out) {
    const toml::node* n = t.get("more_location_paths");
    if (n == nullptr) return true;
    const std::string key = t.key("more_location_paths");
    const auto* arr = n->as_array();
    if (arr == nullptr) return r.fail(*n, key, "must be an array of strings");
    for (std::size_t i = 0; i < arr->size(); ++i) {
        const auto* s = arr->get(i)->as_string();
        if (s == nullptr || s->get().empty()) return r.fail(*arr->get(i), key, "each entry must be a non-empty string");
        out.push_back(s->get());
    }
    return true;
}

bool module(FieldReader& r, const toml::table& table, const std::string& key, ModulePlacement& m) {
    Section t(table, key);
    const toml::node* serial = t.get("serial");
    if (serial == nullptr) return r.fail(table, t.key("serial"), "missing");
    if (!r.string_in(t, "serial", m.serial)) return false;
    if (m.serial.empty()) return r.fail(*serial, t.key("serial"), "must not be empty");
    const toml::node* port = t.get("port");
    if (port == nullptr) return r.fail(table, t.key("port"), "missing");
    if (!r.ports(*port, t.key("port"), m.ports)) return false;
    if (const toml::node* n = t.get("model")) {
        const auto* mt = n->as_table();
        if (mt == nullptr) return r.fail(*n, t.key("model"), "must be a table");
        if (!model(r, *mt, t.key("model"), m.params)) return false;
    }
    if (!r.boolean_in(t, "detail_read_fails", m.detail_read_fails)) return false;
    if (!r.boolean_in(t, "path_in_capitals", m.path_in_capitals)) return false;
    if (t.get("attributes_product_id") != nullptr) {
        std::int64_t product = 0;
        if (!r.integer_in(t, "attributes_product_id", product, 0, 0xFFFF)) return false;
        m.attributes_product_id = static_cast<std::uint16_t>(product);
    }
    return more_paths(r, t, m.more_location_paths) && r.done(t);
}

bool operator_errors(FieldReader& r, Section& root, OperatorErrors& out) {
    const toml::node* n = root.get("operator");
    if (n == nullptr) return true;
    if (n->as_table() == nullptr) return r.fail(*n, "operator", "must be a table ([operator])");
    Section t(*n->as_table(), "operator");
    std::int64_t seed = static_cast<std::int64_t>(out.seed);
    if (!r.number_in(t, "turn_error", out.turn_error, -90.0, 90.0) ||
        !r.number_in(t, "turn_error_sd", out.turn_error_sd, 0.0, 90.0) ||
        !r.number_in(t, "settle_jitter", out.settle_jitter, 0.0, 10.0) ||
        !r.integer_in(t, "seed", seed, 0, std::numeric_limits<std::int64_t>::max()))
        return false;
    out.seed = static_cast<std::uint64_t>(seed);
    return r.done(t);
}

// [[rehearse]]: the turns a rehearsal's jig makes, in order.
bool rehearsal_plan(FieldReader& r, Section& root, std::vector<RehearsalTurn>& out) {
    const toml::node* n = root.get("rehearse");
    if (n == nullptr) return true;
    const auto* turns = n->as_array();
    if (turns == nullptr || !turns->is_array_of_tables() || turns->empty())
        return r.fail(*n, "rehearse", "must be an array of tables ([[rehearse]])");
    for (std::size_t i = 0; i < turns->size(); ++i) {
        Section t(*turns->get(i)->as_table(), "rehearse[" + std::to_string(i) + "]");
        RehearsalTurn turn;
        if (!r.axis(t, turn.axis) || !r.boolean_in(t, "reverse", turn.reverse)) return false;
        if (t.get("degrees") != nullptr) {
            double degrees = 0;
            if (!r.number_in(t, "degrees", degrees, 1.0, 3600.0)) return false;
            turn.degrees = degrees;
        }
        if (!r.done(t)) return false;
        out.push_back(turn);
    }
    return true;
}

bool placement_clash(FieldReader& r, const std::vector<std::pair<PortChain, std::uint32_t>>& taken,
                     const PortChain& ports, std::uint32_t line, const std::string& key) {
    for (const auto& [other, other_line] : taken) {
        const std::size_t n = std::min(other.size(), ports.size());
        if (!std::equal(other.begin(), other.begin() + static_cast<std::ptrdiff_t>(n), ports.begin())) continue;
        const char* what = other.size() == ports.size() ? "already taken by the device of line "
                                                        : "clashes (a device cannot be a hub) with the device of line ";
        return !r.fail_at(line, key, std::string("port ") + what + std::to_string(other_line));
    }
    return false;
}

bool bus(FieldReader& r, Section& root, Scenario& s) {
    const toml::node* b = root.get("bus");
    if (b == nullptr) return true;
    if (b->as_table() == nullptr) return r.fail(*b, "bus", "must be a table");
    Section bt(*b->as_table(), "bus");
    std::vector<std::pair<PortChain, std::uint32_t>> taken;
    const auto list = [&](std::string_view name, auto&& each) {
        const toml::node* n = bt.get(name);
        if (n == nullptr) return true;
        const std::string key = "bus." + std::string(name);
        const auto* arr = n->as_array();
        if (arr == nullptr || !arr->is_array_of_tables())
            return r.fail(*n, key, "must be an array of tables ([[" + key + "]])");
        for (std::size_t i = 0; i < arr->size(); ++i) {
            const toml::table& t = *arr->get(i)->as_table();
            const std::string k = key + "[" + std::to_string(i) + "]";
            PortChain ports;
            if (!each(t, k, ports)) return false;
            const std::uint32_t line = t.get("port")->source().begin.line;
            if (placement_clash(r, taken, ports, line, k + ".port")) return false;
            taken.emplace_back(ports, line);
        }
        return true;
    };
    if (!list("modules", [&](const toml::table& t, const std::string& k, PortChain& ports) {
            ModulePlacement m;
            if (!module(r, t, k, m)) return false;
            ports = m.ports;
            s.modules.push_back(m);
            return true;
        }))
        return false;
    return list("mcus",
                [&](const toml::table& table, const std::string& k, PortChain& ports) {
                    Section t(table, k);
                    const toml::node* port = t.get("port");
                    if (port == nullptr) return r.fail(table, t.key("port"), "missing");
                    if (!r.ports(*port, t.key("port"), ports)) return false;
                    McuPlacement mcu{ports, {}};
                    if (!more_paths(r, t, mcu.more_location_paths) || !r.done(t)) return false;
                    s.mcus.push_back(std::move(mcu));
                    return true;
                }) &&
           r.done(bt);
}

bool expectation(FieldReader& r, Section& root, std::optional<Expectation>& out) {
    const toml::node* n = root.get("expect");
    if (n == nullptr) return true;
    if (n->as_table() == nullptr) return r.fail(*n, "expect", "must be a table ([expect])");
    Section t(*n->as_table(), "expect");
    Expectation e;
    std::int64_t code = -1;
    // "interrupted": the code this system gives a program stopped by Ctrl-C.
    if (const toml::node* exit = t.get("exit"); exit != nullptr && exit->is_string()) {
        if (exit->as_string()->get() != "interrupted")
            return r.fail(*exit, "expect.exit", "must be an exit code or \"interrupted\"");
        e.exit_code = platform::interrupted_exit_code();
    } else if (!r.integer_in(t, "exit", code, 0, 255)) {
        return false;
    }
    if (code >= 0) e.exit_code = static_cast<int>(code);
    for (const auto& [name, lines] : {std::pair<const char*, std::vector<std::string>*>{"stdout", &e.out_lines},
                                      {"stderr", &e.err_lines},
                                      {"fast_stdout", &e.fast_out_lines},
                                      {"fast_stderr", &e.fast_err_lines}}) {
        const toml::node* list = t.get(name);
        if (list == nullptr) continue;
        const std::string key = std::string("expect.") + name;
        const auto* arr = list->as_array();
        if (arr == nullptr) return r.fail(*list, key, "must be an array of lines");
        for (std::size_t i = 0; i < arr->size(); ++i) {
            const auto* line = arr->get(i)->as_string();
            if (line == nullptr) return r.fail(*arr->get(i), key, "each line must be a string");
            lines->push_back(line->get());
            if (lines->back().rfind("re:", 0) == 0) {
                const std::string text = lines->back().substr(3);
                // The standard library's regex compiler recurses once per
                // character and overflows on a back-reference number past
                // int; neither is caught as an error, so neither reaches it.
                if (text.size() > kMaxPatternChars)
                    return r.fail(*arr->get(i), key,
                                  "a pattern is at most " + std::to_string(kMaxPatternChars) + " characters");
                if (has_back_reference(text))
                    return r.fail(*arr->get(i), key, "a pattern cannot refer back to a group (\\1): " + text);
                try {
                    std::regex pattern(text);
                } catch (const std::regex_error&) {
                    return r.fail(*arr->get(i), key, "not a pattern: " + text);
                }
            }
        }
    }
    if (!r.done(t)) return false;
    out = std::move(e);
    return true;
}

}  // namespace

std::optional<Scenario> read_sections(FieldReader& r, const toml::table& table) {
    Scenario s;
    Section root(table, "");
    if (!r.string_in(root, "title", s.title)) return std::nullopt;
    if (root.get("serial") != nullptr) {
        std::string serial;
        if (!r.string_in(root, "serial", serial)) return std::nullopt;
        s.serial = serial;
    }
    if (!bus(r, root, s) || !operator_errors(r, root, s.errors) || !expectation(r, root, s.expect) ||
        !rehearsal_plan(r, root, s.rehearsal))
        return std::nullopt;
    if (const toml::node* n = root.get("jig")) {
        if (!r.string_in(root, "jig", s.jig_module)) return std::nullopt;
        if (std::none_of(s.modules.begin(), s.modules.end(),
                         [&](const ModulePlacement& m) { return m.serial == s.jig_module; })) {
            r.fail(*n, "jig", "no module on the bus has serial \"" + s.jig_module + "\"");
            return std::nullopt;
        }
    } else if (!s.modules.empty()) {
        s.jig_module = s.modules.front().serial;
    }
    if (const toml::node* n = root.get("script")) {
        const auto* steps = n->as_array();
        if (steps == nullptr || !steps->is_array_of_tables()) {
            r.fail(*n, "script", "must be an array of tables ([[script]])");
            return std::nullopt;
        }
        if (steps->size() > kMaxScriptSteps) {
            r.fail(*n, "script",
                   "at most " + std::to_string(kMaxScriptSteps) + " steps; this script has " +
                       std::to_string(steps->size()));
            return std::nullopt;
        }
        if (!read_script(r, *steps, s)) return std::nullopt;
    }
    if (!r.done(root)) return std::nullopt;
    return s;
}

}  // namespace vesko::simulator
