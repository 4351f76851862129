#include "simulator/scenario/checked_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vesko::simulator {

std::string joined(const std::string& prefix, std::string_view name) {
    return prefix.empty() ? std::string(name) : prefix + "." + std::string(name);
}

std::string format_number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

bool FieldReader::fail_at(std::uint32_t line, const std::string& key, const std::string& what) {
    if (error_.empty()) error_ = source_ + ":" + std::to_string(line) + ": key \"" + key + "\": " + what;
    return false;
}

bool FieldReader::done(const Section& s) {
    if (const toml::key* k = s.unknown()) return fail_at(k->source().begin.line, s.key(k->str()), "unknown key");
    tables_.push_back({s.key(), s.looked_up()});
    return true;
}

bool FieldReader::number(const toml::node& n, const std::string& key, double& out) {
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

bool FieldReader::number_in(Section& s, std::string_view name, double& out, double lo, double hi) {
    const toml::node* n = s.get(name);
    if (n == nullptr) return true;
    const std::string key = s.key(name);
    double v = 0;
    if (!number(*n, key, v)) return false;
    if (v < lo || v > hi) return fail(*n, key, "must lie between " + format_number(lo) + " and " + format_number(hi));
    out = v;
    return true;
}

bool FieldReader::integer_in(Section& s, std::string_view name, std::int64_t& out, std::int64_t lo, std::int64_t hi) {
    const toml::node* n = s.get(name);
    if (n == nullptr) return true;
    const std::string key = s.key(name);
    const auto* i = n->as_integer();
    if (i == nullptr) return fail(*n, key, "must be an integer");
    if (i->get() < lo || i->get() > hi)
        return fail(*n, key, "must lie between " + std::to_string(lo) + " and " + std::to_string(hi));
    out = i->get();
    return true;
}

bool FieldReader::string_in(Section& s, std::string_view name, std::string& out) {
    const toml::node* n = s.get(name);
    if (n == nullptr) return true;
    const auto* str = n->as_string();
    if (str == nullptr) return fail(*n, s.key(name), "must be a string");
    out = str->get();
    return true;
}

bool FieldReader::boolean_in(Section& s, std::string_view name, bool& out) {
    const toml::node* n = s.get(name);
    if (n == nullptr) return true;
    const auto* b = n->as_boolean();
    if (b == nullptr) return fail(*n, s.key(name), "must be true or false");
    out = b->get();
    return true;
}

bool FieldReader::triple(const toml::node& n, const std::string& key, Vec3& out, bool positive) {
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

bool FieldReader::ports(const toml::node& n, const std::string& key, PortChain& out) {
    constexpr const char* kForm =
        "must be a port number or a chain of them such as \"2.1\" (port 1 of the hub on port 2)";
    PortChain chain;
    if (const auto* i = n.as_integer()) {
        if (i->get() < 1 || i->get() > 127) return fail(n, key, kForm);
        chain.push_back(static_cast<int>(i->get()));
    } else if (const auto* s = n.as_string()) {
        // Numbers of one to three digits joined by dots.
        const std::string& text = s->get();
        for (std::size_t at = 0; at <= text.size();) {
            const std::size_t end = std::min(text.find('.', at), text.size());
            int p = 0;
            const auto [stop, ec] = std::from_chars(text.data() + at, text.data() + end, p);
            if (ec != std::errc{} || stop != text.data() + end || end - at > 3 || p < 1 || p > 127)
                return fail(n, key, kForm);
            chain.push_back(p);
            at = end + 1;
        }
    } else {
        return fail(n, key, kForm);
    }
    if (chain.size() > 6) return fail(n, key, "USB allows at most five hubs in a chain");
    out = chain;
    return true;
}

bool FieldReader::axis(Section& s, int& out) {
    const toml::node* n = s.get("axis");
    if (n == nullptr) return fail(s.table(), s.key("axis"), "missing: say \"x\", \"y\" or \"z\"");
    const auto* str = n->as_string();
    const std::string v = str ? str->get() : std::string();
    if (v == "x" || v == "X") out = 0;
    else if (v == "y" || v == "Y") out = 1;
    else if (v == "z" || v == "Z") out = 2;
    else return fail(*n, s.key("axis"), "must be \"x\", \"y\" or \"z\"");
    return true;
}

}  // namespace vesko::simulator
