#include "simulator/toml_text_guard.h"

#include <cstddef>

namespace vesko::simulator {
namespace {

bool is_ascii(char c) { return static_cast<unsigned char>(c) < 0x80; }
bool is_trimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Scan {
public:
    explicit Scan(std::string_view text) : t_(text) {}

    std::optional<TextFault> run() {
        while (i_ < t_.size()) {
            const char c = t_[i_];
            if (!is_ascii(c)) return fault("text outside ASCII is allowed only inside a string or a comment");
            if (c == '#') {
                while (i_ < t_.size() && t_[i_] != '\n') ++i_;
            } else if (c == '"' || c == '\'') {
                if (auto f = string(c)) return f;
            } else {
                step();
            }
        }
        return std::nullopt;
    }

private:
    TextFault fault(std::string what) const { return TextFault{line_, std::move(what)}; }

    void step() {
        if (t_[i_] == '\n') ++line_;
        ++i_;
    }

    bool at(std::string_view s) const { return t_.substr(i_, s.size()) == s; }

    std::optional<TextFault> string(char quote) {
        const std::string_view triple = quote == '"' ? "\"\"\"" : "'''";
        const bool multi = at(triple);
        i_ += multi ? 3 : 1;
        while (i_ < t_.size()) {
            const char c = t_[i_];
            if (c == '\n' && !multi) return std::nullopt;  // unterminated: the reader says so
            if (c == '\\' && quote == '"') {
                ++i_;
                if (multi) {
                    std::size_t j = i_;
                    while (j < t_.size() && is_trimmed(t_[j])) ++j;
                    if (j < t_.size() && !is_ascii(t_[j])) {
                        while (i_ < j) step();
                        return fault("a backslash in a \"\"\" string must not be followed by text outside ASCII");
                    }
                }
                if (i_ < t_.size()) step();  // the escaped character, or the first one trimmed
                continue;
            }
            if (multi ? at(triple) : c == quote) {
                i_ += multi ? 3 : 1;
                // A """ string may end in up to two more quotes of its own.
                while (multi && i_ < t_.size() && t_[i_] == quote) ++i_;
                return std::nullopt;
            }
            step();
        }
        return std::nullopt;
    }

    std::string_view t_;
    std::size_t i_ = 0;
    std::uint32_t line_ = 1;
};

}  // namespace

std::optional<TextFault> find_unsafe_toml(std::string_view text) { return Scan(text).run(); }

}  // namespace vesko::simulator
