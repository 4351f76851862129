#include "simulator/scenario/toml_text_guard.h"

#include <cstddef>
#include <vector>

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
            if (in_word_) {
                if (!ends_word(c)) {
                    step();
                    continue;
                }
                in_word_ = false;
            }
            if (c == '#') {
                while (i_ < t_.size() && t_[i_] != '\n') ++i_;
            } else if ((c == '"' || c == '\'') && opens_string()) {
                if (auto f = string(c)) return f;
                last_ = c;
            } else {
                if (c != ' ' && c != '\t' && c != '\r') {
                    if (!in_key_ && !ends_word(c) && c != '[' && c != '{' && c != '"' && c != '\'') in_word_ = true;
                    structure(c);
                    last_ = c;
                }
                step();
            }
        }
        return std::nullopt;
    }

private:
    // A value that is not a string, array or table (a number, a date, true)
    // is read up to one of these, whatever it holds: 0.["x"] is one word.
    static bool ends_word(char c) {
        return c == ' ' || c == '\t' || (c >= '\n' && c <= '\r') || c == ']' || c == '}' || c == ',' || c == '#';
    }

    // The reader takes a quote for the start of a string only where a key or
    // a value starts; elsewhere (as in a"...") it is an error, and the
    // string's text is not allowed what a string's would be.
    bool opens_string() const {
        return last_ == '\n' || last_ == '=' || last_ == '[' || last_ == '{' || last_ == ',' ||
               (in_key_ && last_ == '.');
    }

    // Follows whether a key or a value comes next: a '.' joins the parts of
    // a key, but is part of a number in a value.
    void structure(char c) {
        const char open = nesting_.empty() ? '\0' : nesting_.back();
        switch (c) {
            case '\n': in_key_ = open != '['; break;  // a line of an array holds values
            case '=': in_key_ = false; break;
            case '[':
                if (!in_key_) nesting_.push_back('[');  // in a key, it opens a table header
                break;
            case '{':
                nesting_.push_back('{');
                in_key_ = true;
                break;
            case ',': in_key_ = open == '{'; break;
            case ']':
            case '}':
                if (open == (c == ']' ? '[' : '{')) nesting_.pop_back();
                in_key_ = false;
                break;
            default: break;
        }
    }

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
    char last_ = '\n';  // the last character outside strings and comments, blanks aside
    bool in_key_ = true;
    bool in_word_ = false;       // in a value's bare word
    std::vector<char> nesting_;  // the arrays and inline tables open in a value
};

}  // namespace

std::optional<TextFault> find_unsafe_toml(std::string_view text) { return Scan(text).run(); }

}  // namespace vesko::simulator
