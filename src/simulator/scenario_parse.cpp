// Scenario files: TOML read by toml++, checked key by key. Every error names
// the file, the line and the key; unknown keys are errors, so a typo never
// silently falls back to a default.
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

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <sstream>

#include "console/angle_entry.h"
#include "simulator/scenario_load.h"
#include "simulator/toml_text_guard.h"

#include <regex>

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

std::string format_number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    std::optional<Scenario> read(const toml::table& root);
    const std::string& error() const { return error_; }

private:
    // Records the first error; always returns false so callers can `return fail(...)`.
    bool fail(const toml::node& at, const std::string& key, const std::string& what) {
        return fail_at(at.source().begin.line, key, what);
    }
    bool fail_at(std::uint32_t line, const std::string& key, const std::string& what) {
        if (error_.empty()) error_ = source_ + ":" + std::to_string(line) + ": key \"" + key + "\": " + what;
        return false;
    }

    bool only_keys(const toml::table& t, const std::string& prefix, std::initializer_list<std::string_view> allowed);
    bool number(const toml::node& n, const std::string& key, double& out);
    bool number_in(const toml::table& t, std::string_view name, const std::string& prefix, double& out,
                   double lo, double hi);
    bool integer_in(const toml::table& t, std::string_view name, const std::string& prefix, std::int64_t& out,
                    std::int64_t lo, std::int64_t hi);
    bool string_in(const toml::table& t, std::string_view name, const std::string& prefix, std::string& out);
    bool triple(const toml::node& n, const std::string& key, Vec3& out, bool positive);
    bool ports(const toml::node& n, const std::string& key, PortChain& out);
    bool axis(const toml::table& t, const std::string& prefix, int& out);

    bool bus(const toml::table& root, Scenario& s);
    bool module(const toml::table& t, const std::string& key, ModulePlacement& m);
    bool operator_errors(const toml::table& root, OperatorErrors& out);
    bool expectation(const toml::table& root, std::optional<Expectation>& out);
    bool more_paths(const toml::table& t, const std::string& prefix, MoreLocationPaths& out);
    bool model(const toml::table& t, const std::string& key, ModuleParams& p);
    bool placement_clash(const std::vector<std::pair<PortChain, std::uint32_t>>& taken, const PortChain& ports,
                         std::uint32_t line, const std::string& key);
    bool script(const toml::array& steps, Scenario& s);
    bool step(const toml::table& t, const std::string& key, const Scenario& s, std::vector<OperatorStep>& out);
    bool fault(const toml::table& t, const std::string& key, const Scenario& s, FaultStep& out);

    std::string source_;
    std::string error_;
};

std::string joined(const std::string& prefix, std::string_view name) {
    return prefix.empty() ? std::string(name) : prefix + "." + std::string(name);
}

bool Reader::only_keys(const toml::table& t, const std::string& prefix,
                       std::initializer_list<std::string_view> allowed) {
    for (auto&& [k, v] : t) {
        if (std::find(allowed.begin(), allowed.end(), k.str()) == allowed.end())
            return fail_at(k.source().begin.line, joined(prefix, k.str()), "unknown key");
    }
    return true;
}

bool Reader::number(const toml::node& n, const std::string& key, double& out) {
    if (const auto* i = n.as_integer()) {
        out = static_cast<double>(i->get());
        return true;
    }
    if (const auto* f = n.as_floating_point()) {
        out = f->get();
        if (std::isfinite(out)) return true;
        return fail(n, key, "must be a finite number");
    }
    return fail(n, key, "must be a number");
}

bool Reader::number_in(const toml::table& t, std::string_view name, const std::string& prefix, double& out,
                       double lo, double hi) {
    const toml::node* n = t.get(name);
    if (n == nullptr) return true;  // optional: the default stays
    const std::string key = joined(prefix, name);
    double v = 0;
    if (!number(*n, key, v)) return false;
    if (v < lo || v > hi) return fail(*n, key, "must lie between " + format_number(lo) + " and " + format_number(hi));
    out = v;
    return true;
}

bool Reader::integer_in(const toml::table& t, std::string_view name, const std::string& prefix,
                        std::int64_t& out, std::int64_t lo, std::int64_t hi) {
    const toml::node* n = t.get(name);
    if (n == nullptr) return true;
    const std::string key = joined(prefix, name);
    const auto* i = n->as_integer();
    if (i == nullptr) return fail(*n, key, "must be an integer");
    if (i->get() < lo || i->get() > hi)
        return fail(*n, key, "must lie between " + std::to_string(lo) + " and " + std::to_string(hi));
    out = i->get();
    return true;
}

bool Reader::string_in(const toml::table& t, std::string_view name, const std::string& prefix, std::string& out) {
    const toml::node* n = t.get(name);
    if (n == nullptr) return true;
    const auto* s = n->as_string();
    if (s == nullptr) return fail(*n, joined(prefix, name), "must be a string");
    out = s->get();
    return true;
}

bool Reader::triple(const toml::node& n, const std::string& key, Vec3& out, bool positive) {
    Vec3 v{};
    if (n.is_number()) {
        double x = 0;
        if (!number(n, key, x)) return false;
        v = {x, x, x};
    } else if (const auto* a = n.as_array(); a != nullptr && a->size() == 3) {
        for (std::size_t i = 0; i < 3; ++i)
            if (!number(*a->get(i), key + "[" + std::to_string(i) + "]", v[i])) return false;
    } else {
        return fail(n, key, "must be a number or an array of three numbers (X, Y, Z)");
    }
    if (positive && std::any_of(v.begin(), v.end(), [](double x) { return !(x > 0); }))
        return fail(n, key, "must be greater than 0");
    out = v;
    return true;
}

bool Reader::ports(const toml::node& n, const std::string& key, PortChain& out) {
    constexpr const char* kForm = "must be a port number or a chain of them such as \"2.1\" (port 1 of the hub on port 2)";
    PortChain chain;
    if (const auto* i = n.as_integer()) {
        if (i->get() < 1 || i->get() > 127) return fail(n, key, kForm);
        chain.push_back(static_cast<int>(i->get()));
    } else if (const auto* s = n.as_string()) {
        std::stringstream in(s->get());
        std::string part;
        while (std::getline(in, part, '.')) {
            if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return fail(n, key, kForm);
            const int p = std::stoi(part);
            if (p < 1 || p > 127) return fail(n, key, kForm);
            chain.push_back(p);
        }
        if (chain.empty() || s->get().back() == '.') return fail(n, key, kForm);
    } else {
        return fail(n, key, kForm);
    }
    if (chain.size() > 6) return fail(n, key, "USB allows at most five hubs in a chain");
    out = chain;
    return true;
}

bool Reader::axis(const toml::table& t, const std::string& prefix, int& out) {
    const toml::node* n = t.get("axis");
    if (n == nullptr) return fail(t, joined(prefix, "axis"), "missing: say \"x\", \"y\" or \"z\"");
    const auto* s = n->as_string();
    const std::string v = s ? s->get() : std::string();
    if (v == "x" || v == "X") out = 0;
    else if (v == "y" || v == "Y") out = 1;
    else if (v == "z" || v == "Z") out = 2;
    else return fail(*n, joined(prefix, "axis"), "must be \"x\", \"y\" or \"z\"");
    return true;
}

bool Reader::model(const toml::table& t, const std::string& key, ModuleParams& p) {
    if (!only_keys(t, key,
                   {"rate_hz", "scale", "bias", "noise_sd", "coupling", "accel_counts_per_g", "accel_noise_sd",
                    "seed", "first_timestamp", "first_seq"}))
        return false;
    if (!number_in(t, "rate_hz", key, p.sample_rate_hz, kMinRateHz, kMaxRateHz)) return false;
    if (const toml::node* n = t.get("scale"); n && !triple(*n, key + ".scale", p.gyro_scale, true)) return false;
    if (const toml::node* n = t.get("bias"); n && !triple(*n, key + ".bias", p.gyro_bias, false)) return false;
    if (!number_in(t, "noise_sd", key, p.gyro_noise_sd, 0.0, 10000.0)) return false;
    if (const toml::node* n = t.get("coupling")) {
        const std::string k = key + ".coupling";
        Mat3 c{};
        if (n->is_number()) {
            double x = 0;
            if (!number(*n, k, x)) return false;
            c = {{{0, x, x}, {x, 0, x}, {x, x, 0}}};
        } else if (const auto* rows = n->as_array(); rows && rows->size() == 3) {
            for (std::size_t i = 0; i < 3; ++i) {
                const auto* row = rows->get(i)->as_array();
                if (row == nullptr || row->size() != 3) return fail(*rows->get(i), k, "each row must hold three numbers");
                for (std::size_t j = 0; j < 3; ++j) {
                    const std::string kij = k + "[" + std::to_string(i) + "][" + std::to_string(j) + "]";
                    if (!number(*row->get(j), kij, c[i][j])) return false;
                    if (i == j && c[i][j] != 0.0) return fail(*row->get(j), kij, "the diagonal must be 0");
                }
            }
        } else {
            return fail(*n, k, "must be a number (every off-diagonal term) or three rows of three numbers");
        }
        for (const Vec3& row : c)
            for (double x : row)
                if (std::fabs(x) > 0.5) return fail(*n, k, "a coupling must lie between -0.5 and 0.5");
        p.coupling = c;
    }
    if (!number_in(t, "accel_counts_per_g", key, p.accel_counts_per_g, 1.0, 32767.0)) return false;
    if (!number_in(t, "accel_noise_sd", key, p.accel_noise_sd, 0.0, 10000.0)) return false;
    std::int64_t seed = static_cast<std::int64_t>(p.noise_seed);
    if (!integer_in(t, "seed", key, seed, 0, std::numeric_limits<std::int64_t>::max())) return false;
    p.noise_seed = static_cast<std::uint64_t>(seed);
    std::int64_t ts = p.first_timestamp;
    if (!integer_in(t, "first_timestamp", key, ts, 0, 0xFFFFFFFFll)) return false;
    p.first_timestamp = static_cast<std::uint32_t>(ts);
    std::int64_t seq = p.first_seq;
    if (!integer_in(t, "first_seq", key, seq, 0, 255)) return false;
    p.first_seq = static_cast<std::uint8_t>(seq);
    return true;
}

bool Reader::module(const toml::table& t, const std::string& key, ModulePlacement& m) {
    if (!only_keys(t, key, {"serial", "port", "model", "more_location_paths", "detail_read_fails"})) return false;
    const toml::node* serial = t.get("serial");
    if (serial == nullptr) return fail(t, key + ".serial", "missing");
    if (!string_in(t, "serial", key, m.serial)) return false;
    if (m.serial.empty()) return fail(*serial, key + ".serial", "must not be empty");
    const toml::node* port = t.get("port");
    if (port == nullptr) return fail(t, key + ".port", "missing");
    if (!ports(*port, key + ".port", m.ports)) return false;
    if (const toml::node* n = t.get("model")) {
        const auto* mt = n->as_table();
        if (mt == nullptr) return fail(*n, key + ".model", "must be a table");
        if (!model(*mt, key + ".model", m.params)) return false;
    }
    if (const toml::node* n = t.get("detail_read_fails")) {
        const auto* b = n->as_boolean();
        if (b == nullptr) return fail(*n, key + ".detail_read_fails", "must be true or false");
        m.detail_read_fails = b->get();
    }
    return more_paths(t, key, m.more_location_paths);
}

bool Reader::operator_errors(const toml::table& root, OperatorErrors& out) {
    const toml::node* n = root.get("operator");
    if (n == nullptr) return true;
    const auto* t = n->as_table();
    if (t == nullptr) return fail(*n, "operator", "must be a table ([operator])");
    if (!only_keys(*t, "operator", {"turn_error", "turn_error_sd", "settle_jitter", "seed"})) return false;
    std::int64_t seed = static_cast<std::int64_t>(out.seed);
    if (!number_in(*t, "turn_error", "operator", out.turn_error, -90.0, 90.0) ||
        !number_in(*t, "turn_error_sd", "operator", out.turn_error_sd, 0.0, 90.0) ||
        !number_in(*t, "settle_jitter", "operator", out.settle_jitter, 0.0, 10.0) ||
        !integer_in(*t, "seed", "operator", seed, 0, std::numeric_limits<std::int64_t>::max()))
        return false;
    out.seed = static_cast<std::uint64_t>(seed);
    return true;
}

bool Reader::more_paths(const toml::table& t, const std::string& prefix, MoreLocationPaths& out) {
    const toml::node* n = t.get("more_location_paths");
    if (n == nullptr) return true;
    const std::string key = joined(prefix, "more_location_paths");
    const auto* arr = n->as_array();
    if (arr == nullptr) return fail(*n, key, "must be an array of strings");
    for (std::size_t i = 0; i < arr->size(); ++i) {
        const auto* s = arr->get(i)->as_string();
        if (s == nullptr || s->get().empty()) return fail(*arr->get(i), key, "each entry must be a non-empty string");
        out.push_back(s->get());
    }
    return true;
}

bool Reader::placement_clash(const std::vector<std::pair<PortChain, std::uint32_t>>& taken, const PortChain& ports,
                             std::uint32_t line, const std::string& key) {
    for (const auto& [other, other_line] : taken) {
        const std::size_t n = std::min(other.size(), ports.size());
        if (!std::equal(other.begin(), other.begin() + static_cast<std::ptrdiff_t>(n), ports.begin())) continue;
        const char* what = other.size() == ports.size() ? "already taken by the device of line "
                                                        : "clashes (a device cannot be a hub) with the device of line ";
        return !fail_at(line, key, std::string("port ") + what + std::to_string(other_line));
    }
    return false;
}

bool Reader::bus(const toml::table& root, Scenario& s) {
    const toml::node* b = root.get("bus");
    if (b == nullptr) return true;
    const auto* bt = b->as_table();
    if (bt == nullptr) return fail(*b, "bus", "must be a table");
    if (!only_keys(*bt, "bus", {"modules", "mcus"})) return false;
    std::vector<std::pair<PortChain, std::uint32_t>> taken;
    const auto list = [&](std::string_view name, auto&& each) {
        const toml::node* n = bt->get(name);
        if (n == nullptr) return true;
        const std::string key = "bus." + std::string(name);
        const auto* arr = n->as_array();
        if (arr == nullptr || !arr->is_array_of_tables())
            return fail(*n, key, "must be an array of tables ([[" + key + "]])");
        for (std::size_t i = 0; i < arr->size(); ++i) {
            const toml::table& t = *arr->get(i)->as_table();
            const std::string k = key + "[" + std::to_string(i) + "]";
            PortChain ports;
            if (!each(t, k, ports)) return false;
            const std::uint32_t line = t.get("port")->source().begin.line;
            if (placement_clash(taken, ports, line, k + ".port")) return false;
            taken.emplace_back(ports, line);
        }
        return true;
    };
    if (!list("modules", [&](const toml::table& t, const std::string& k, PortChain& ports) {
            ModulePlacement m;
            if (!module(t, k, m)) return false;
            ports = m.ports;
            s.modules.push_back(m);
            return true;
        }))
        return false;
    return list("mcus", [&](const toml::table& t, const std::string& k, PortChain& ports) {
        if (!only_keys(t, k, {"port", "more_location_paths"})) return false;
        const toml::node* port = t.get("port");
        if (port == nullptr) return fail(t, k + ".port", "missing");
        if (!this->ports(*port, k + ".port", ports)) return false;
        McuPlacement mcu{ports, {}};
        if (!more_paths(t, k, mcu.more_location_paths)) return false;
        s.mcus.push_back(std::move(mcu));
        return true;
    });
}

bool Reader::fault(const toml::table& t, const std::string& key, const Scenario& s, FaultStep& out) {
    const toml::node* kind_node = t.get("fault");
    const auto* kind_str = kind_node->as_string();
    const std::string kind = kind_str ? kind_str->get() : std::string();
    if (!string_in(t, "module", key, out.module)) return false;
    if (!out.module.empty() &&
        std::none_of(s.modules.begin(), s.modules.end(), [&](const ModulePlacement& m) { return m.serial == out.module; }))
        return fail(*t.get("module"), key + ".module", "no module on the bus has serial \"" + out.module + "\"");
    if (!number_in(t, "delay", key, out.delay, 0.0, 3600.0)) return false;
    double seconds = 1.0;
    std::int64_t count = 1;
    if (kind == "silence" || kind == "unplug" || kind == "clock_leap") {
        if (!only_keys(t, key, {"fault", "module", "delay", "seconds"})) return false;
        if (t.get("seconds") == nullptr) return fail(t, key + ".seconds", "missing: how long");
        if (!number_in(t, "seconds", key, seconds, 0.001, kind == "clock_leap" ? 89.0 : 3600.0)) return false;
        const auto ns = static_cast<std::int64_t>(std::llround(seconds * 1e9));
        if (kind == "silence") out.what = StreamFault{Silence{ns}};
        else if (kind == "unplug") out.what = Unplug{seconds};
        else out.what = StreamFault{TimestampLeap{static_cast<std::uint32_t>(std::llround(seconds * 48e6))}};
        return true;
    }
    if (kind == "short_reports") {
        if (!only_keys(t, key, {"fault", "module", "delay", "count", "length"})) return false;
        std::int64_t length = 40;
        if (!integer_in(t, "count", key, count, 1, 1000000) || !integer_in(t, "length", key, length, 0, 51)) return false;
        out.what = StreamFault{ShortReports{static_cast<int>(count), static_cast<std::size_t>(length)}};
        return true;
    }
    if (kind == "foreign_reports") {
        if (!only_keys(t, key, {"fault", "module", "delay", "count", "report_id"})) return false;
        std::int64_t id = 0x21;
        if (!integer_in(t, "count", key, count, 1, 1000000) || !integer_in(t, "report_id", key, id, 0, 255)) return false;
        if (id == 0x20) return fail(*t.get("report_id"), key + ".report_id", "0x20 (32) is the IMU report itself");
        out.what = StreamFault{ForeignReports{static_cast<int>(count), static_cast<std::uint8_t>(id)}};
        return true;
    }
    if (kind == "repeated_reports" || kind == "swapped_reports") {
        if (!only_keys(t, key, {"fault", "module", "delay", "count"})) return false;
        if (!integer_in(t, "count", key, count, 1, 1000000)) return false;
        if (kind == "repeated_reports") out.what = StreamFault{RepeatedReports{static_cast<int>(count)}};
        else out.what = StreamFault{SwappedReports{static_cast<int>(count)}};
        return true;
    }
    if (kind == "seq_restart") {
        if (!only_keys(t, key, {"fault", "module", "delay", "seq"})) return false;
        std::int64_t seq = 0;
        if (!integer_in(t, "seq", key, seq, 0, 255)) return false;
        out.what = StreamFault{SeqRestart{static_cast<std::uint8_t>(seq)}};
        return true;
    }
    return fail(*kind_node, key + ".fault",
                "must be one of silence, unplug, clock_leap, short_reports, foreign_reports, repeated_reports, "
                "swapped_reports, seq_restart");
}

bool Reader::step(const toml::table& t, const std::string& key, const Scenario& s, std::vector<OperatorStep>& out) {
    constexpr std::string_view kinds[] = {"run", "type", "wait", "turn", "fault", "quit"};
    std::string_view kind;
    for (std::string_view k : kinds) {
        if (k == "turn" && t.get("run") != nullptr) continue;  // a run's own turn
        if (t.get(k) == nullptr) continue;
        if (!kind.empty())
            return fail(*t.get(k), key + "." + std::string(k), "a step does one thing; this one already has \"" + std::string(kind) + "\"");
        kind = k;
    }
    if (kind.empty()) return fail(t, key, "a step needs one of run, type, wait, turn, fault, quit");

    if (kind == "run") {
        if (!only_keys(t, key, {"run", "typed", "axis", "turn", "seconds", "settle"})) return false;
        double angle = 0;
        if (!number(*t.get("run"), key + ".run", angle)) return false;
        if (!(angle > 0)) return fail(*t.get("run"), key + ".run", "must be greater than 0 (type a bad angle with a \"type\" step)");
        TurnJig turn{0, angle, 1.0};
        double settle = 0.3;
        std::string typed = format_number(angle);
        if (!axis(t, key, turn.axis) || !string_in(t, "typed", key, typed) ||
            !number_in(t, "turn", key, turn.degrees, -3600.0, 3600.0) ||
            !number_in(t, "seconds", key, turn.seconds, 0.05, 60.0) || !number_in(t, "settle", key, settle, 0.0, 60.0))
            return false;
        // The steps below answer the questions of a run; an angle the console
        // refuses would leave them answering the wrong ones.
        if (!accepted_angle(typed)) {
            const bool own = t.get("typed") == nullptr;
            return fail(own ? *t.get("run") : *t.get("typed"), key + (own ? ".run" : ".typed"),
                        "the console would refuse \"" + typed + "\" as an angle (type a bad angle with a \"type\" step)");
        }
        out.push_back(TypeLine{typed});  // the angle question
        out.push_back(TypeLine{""});     // Enter arms the run
        out.push_back(Wait{settle, true});  // at the finishing question
        out.push_back(turn);
        out.push_back(Wait{settle, true});
        out.push_back(TypeLine{""});     // Enter finishes it
        return true;
    }
    if (kind == "type") {
        if (!only_keys(t, key, {"type"})) return false;
        TypeLine line;
        if (!string_in(t, "type", key, line.text)) return false;
        if (line.text.find('\n') != std::string::npos) return fail(*t.get("type"), key + ".type", "one line only: no newline");
        out.push_back(line);
        return true;
    }
    if (kind == "wait") {
        if (!only_keys(t, key, {"wait"})) return false;
        Wait w;
        if (!number_in(t, "wait", key, w.seconds, 0.0, 3600.0)) return false;
        out.push_back(w);
        return true;
    }
    if (kind == "turn") {
        if (!only_keys(t, key, {"turn", "axis", "seconds"})) return false;
        TurnJig turn;
        if (!number_in(t, "turn", key, turn.degrees, -3600.0, 3600.0) || !axis(t, key, turn.axis) ||
            !number_in(t, "seconds", key, turn.seconds, 0.05, 60.0))
            return false;
        out.push_back(turn);
        return true;
    }
    if (kind == "fault") {
        FaultStep f;
        if (!fault(t, key, s, f)) return false;
        out.push_back(f);
        return true;
    }
    // quit
    if (!only_keys(t, key, {"quit"})) return false;
    const auto* q = t.get("quit")->as_boolean();
    if (q == nullptr || !q->get()) return fail(*t.get("quit"), key + ".quit", "must be true (the script just ending closes the input)");
    out.push_back(TypeLine{"q"});
    return true;
}

bool Reader::script(const toml::array& steps, Scenario& s) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const toml::table& t = *steps.get(i)->as_table();
        const std::string key = "script[" + std::to_string(i) + "]";
        if (i > 0 && steps.get(i - 1)->as_table()->get("quit") != nullptr)
            return fail(t, key, "comes after a quit, and would never be carried out");
        if (!step(t, key, s, s.script)) return false;
    }
    return true;
}

bool Reader::expectation(const toml::table& root, std::optional<Expectation>& out) {
    const toml::node* n = root.get("expect");
    if (n == nullptr) return true;
    const auto* t = n->as_table();
    if (t == nullptr) return fail(*n, "expect", "must be a table ([expect])");
    if (!only_keys(*t, "expect", {"exit", "stdout", "stderr", "fast_stdout", "fast_stderr"})) return false;
    Expectation e;
    std::int64_t code = -1;
    if (!integer_in(*t, "exit", "expect", code, 0, 255)) return false;
    if (code >= 0) e.exit_code = static_cast<int>(code);
    for (const auto& [name, lines] : {std::pair<const char*, std::vector<std::string>*>{"stdout", &e.out_lines},
                                      {"stderr", &e.err_lines},
                                      {"fast_stdout", &e.fast_out_lines},
                                      {"fast_stderr", &e.fast_err_lines}}) {
        const toml::node* list = t->get(name);
        if (list == nullptr) continue;
        const std::string key = std::string("expect.") + name;
        const auto* arr = list->as_array();
        if (arr == nullptr) return fail(*list, key, "must be an array of lines");
        for (std::size_t i = 0; i < arr->size(); ++i) {
            const auto* line = arr->get(i)->as_string();
            if (line == nullptr) return fail(*arr->get(i), key, "each line must be a string");
            lines->push_back(line->get());
            if (lines->back().rfind("re:", 0) == 0) {
                const std::string text = lines->back().substr(3);
                // The standard library's regex compiler recurses once per
                // character and overflows on a back-reference number past
                // int; neither is caught as an error, so neither reaches it.
                if (text.size() > kMaxPatternChars)
                    return fail(*arr->get(i), key,
                                "a pattern is at most " + std::to_string(kMaxPatternChars) + " characters");
                if (has_back_reference(text))
                    return fail(*arr->get(i), key, "a pattern cannot refer back to a group (\\1): " + text);
                try {
                    std::regex pattern(text);
                } catch (const std::regex_error&) {
                    return fail(*arr->get(i), key, "not a pattern: " + text);
                }
            }
        }
    }
    out = std::move(e);
    return true;
}

std::optional<Scenario> Reader::read(const toml::table& root) {
    Scenario s;
    if (!only_keys(root, "", {"title", "serial", "jig", "bus", "operator", "expect", "script"})) return std::nullopt;
    if (!string_in(root, "title", "", s.title)) return std::nullopt;
    if (const toml::node* n = root.get("serial")) {
        std::string serial;
        if (!string_in(root, "serial", "", serial)) return std::nullopt;
        s.serial = serial;
        (void)n;
    }
    if (!bus(root, s) || !operator_errors(root, s.errors) || !expectation(root, s.expect)) return std::nullopt;
    if (const toml::node* n = root.get("jig")) {
        if (!string_in(root, "jig", "", s.jig_module)) return std::nullopt;
        if (std::none_of(s.modules.begin(), s.modules.end(),
                         [&](const ModulePlacement& m) { return m.serial == s.jig_module; })) {
            fail(*n, "jig", "no module on the bus has serial \"" + s.jig_module + "\"");
            return std::nullopt;
        }
    } else if (!s.modules.empty()) {
        s.jig_module = s.modules.front().serial;
    }
    if (const toml::node* n = root.get("script")) {
        const auto* steps = n->as_array();
        if (steps == nullptr || !steps->is_array_of_tables()) {
            fail(*n, "script", "must be an array of tables ([[script]])");
            return std::nullopt;
        }
        if (steps->size() > kMaxScriptSteps) {
            fail(*n, "script", "at most " + std::to_string(kMaxScriptSteps) + " steps; this script has " +
                                   std::to_string(steps->size()));
            return std::nullopt;
        }
        if (!script(*steps, s)) return std::nullopt;
    }
    return s;
}

}  // namespace

ScenarioLoad parse_scenario(std::string_view text, const std::string& source_name) {
    ScenarioLoad load;
    if (text.size() > kMaxScenarioBytes) {
        load.error = source_name + ": too long: a scenario file is at most " + std::to_string(kMaxScenarioBytes) +
                     " bytes (1 MiB)";
        return load;
    }
    if (const auto fault = find_unsafe_toml(text)) {
        load.error = source_name + ":" + std::to_string(fault->line) + ": " + fault->what;
        return load;
    }
    toml::parse_result parsed = toml::parse(text, source_name);
    if (!parsed) {
        const toml::parse_error& e = parsed.error();
        load.error = source_name + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
        return load;
    }
    Reader reader(source_name);
    load.scenario = reader.read(parsed.table());
    if (!load.scenario) load.error = reader.error();
    return load;
}

ScenarioLoad load_scenario_file(const std::string& path) {
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    bool ok = f != nullptr;
    if (ok) {
        char buf[4096];
        std::size_t n = 0;
        // One byte past the limit is enough to refuse the file.
        while (text.size() <= kMaxScenarioBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        ok = std::ferror(f) == 0;
        std::fclose(f);
    }
    if (!ok) {
        ScenarioLoad load;
        load.error = path + ": cannot read it";
        return load;
    }
    return parse_scenario(text, path);
}

}  // namespace vesko::simulator
