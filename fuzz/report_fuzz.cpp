// rotabench-report on arbitrary text, read as a session's log. It never
// crashes; whatever it writes with --json is one valid JSON object per line
// (no NaN or infinity can reach it, and its strings are well-formed UTF-8,
// judged here by a table of our own and not by the report's code), every
// figure of its text report is finite, whatever it writes with --csv is
// RFC 4180 with the same number of fields in every record, its exit code is
// one of the documented ones, and --matrix gives no C array for a log whose
// runs the plain report flags.

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "report/report_main.h"

namespace {

using namespace vesko;

// RFC 3629's well-formed sequences: a lead byte's range, the range of the
// byte after it, and how many bytes of 80..BF follow that one.
struct Utf8Form {
    unsigned char lead_lo, lead_hi, second_lo, second_hi;
    int tails;
};
constexpr Utf8Form kUtf8Forms[] = {
    {0xC2, 0xDF, 0x80, 0xBF, 0}, {0xE0, 0xE0, 0xA0, 0xBF, 1}, {0xE1, 0xEC, 0x80, 0xBF, 1}, {0xED, 0xED, 0x80, 0x9F, 1},
    {0xEE, 0xEF, 0x80, 0xBF, 1}, {0xF0, 0xF0, 0x90, 0xBF, 2}, {0xF1, 0xF3, 0x80, 0xBF, 2}, {0xF4, 0xF4, 0x80, 0x8F, 2},
};

// The length of the well-formed sequence of more than one byte at s[at], or 0.
std::size_t utf8_multibyte(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t k) { return at + k < s.size() ? static_cast<unsigned char>(s[at + k]) : 0; };
    for (const Utf8Form& f : kUtf8Forms) {
        if (byte(0) < f.lead_lo || byte(0) > f.lead_hi) continue;
        if (byte(1) < f.second_lo || byte(1) > f.second_hi) return 0;
        for (int k = 0; k < f.tails; ++k)
            if (byte(2 + k) < 0x80 || byte(2 + k) > 0xBF) return 0;
        return 2 + static_cast<std::size_t>(f.tails);
    }
    return 0;
}

// RFC 8259, strictly: one value, nothing after it.
class JsonChecker {
public:
    explicit JsonChecker(std::string_view text) : s_(text) {}
    bool whole() {
        blanks();
        if (!value()) return false;
        blanks();
        return at_ == s_.size();
    }

private:
    bool value() {
        if (++depth_ > 64) return false;
        blanks();
        bool ok = false;
        if (peek() == '{') ok = object();
        else if (peek() == '[') ok = array();
        else if (peek() == '"') ok = string();
        else if (word("true") || word("false") || word("null")) ok = true;
        else ok = number();
        --depth_;
        return ok;
    }
    bool object() {
        ++at_;
        blanks();
        if (peek() == '}') return ++at_, true;
        for (;;) {
            blanks();
            if (!string()) return false;
            blanks();
            if (peek() != ':') return false;
            ++at_;
            if (!value()) return false;
            blanks();
            if (peek() == '}') return ++at_, true;
            if (peek() != ',') return false;
            ++at_;
        }
    }
    bool array() {
        ++at_;
        blanks();
        if (peek() == ']') return ++at_, true;
        for (;;) {
            if (!value()) return false;
            blanks();
            if (peek() == ']') return ++at_, true;
            if (peek() != ',') return false;
            ++at_;
        }
    }
    bool string() {
        if (peek() != '"') return false;
        for (++at_; at_ < s_.size();) {
            const auto c = static_cast<unsigned char>(s_[at_]);
            if (c == '"') return ++at_, true;
            if (c < 0x20) return false;
            if (c == '\\') {
                const char e = at_ + 1 < s_.size() ? s_[at_ + 1] : 0;
                if (e == 'u') {
                    for (int k = 2; k < 6; ++k)
                        if (at_ + k >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[at_ + k])))
                            return false;
                    // The report escapes no character past U+FFFF: a surrogate is half of nothing.
                    const unsigned long unit = std::strtoul(std::string(s_.substr(at_ + 2, 4)).c_str(), nullptr, 16);
                    if (unit >= 0xD800 && unit <= 0xDFFF) return false;
                    at_ += 6;
                } else if (std::string_view("\"\\/bfnrt").find(e) != std::string_view::npos && e != 0) {
                    at_ += 2;
                } else {
                    return false;
                }
                continue;
            }
            const std::size_t n = c < 0x80 ? 1 : utf8_multibyte(s_, at_);
            if (n == 0) return false;
            at_ += n;
        }
        return false;
    }
    bool number() {
        const std::size_t start = at_;
        if (peek() == '-') ++at_;
        if (peek() == '0') {
            ++at_;
        } else if (digits() == 0) {
            return false;
        }
        if (peek() == '.') {
            ++at_;
            if (digits() == 0) return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') ++at_;
            if (digits() == 0) return false;
        }
        return at_ > start;
    }
    std::size_t digits() {
        std::size_t n = 0;
        while (peek() >= '0' && peek() <= '9') ++at_, ++n;
        return n;
    }
    bool word(std::string_view w) {
        if (s_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }
    void blanks() {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') ++at_;
    }
    char peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }

    std::string_view s_;
    std::size_t at_ = 0;
    int depth_ = 0;
};

// RFC 4180: records end with a line end; a quoted field doubles its quotes.
// Every record has as many fields as the header.
void check_csv(const std::string& text) {
    std::size_t fields = 1, header_fields = 0;
    bool quoted = false, first = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') ++i;
                else quoted = false;
            }
            continue;
        }
        if (c == '"') {
            FUZZ_CHECK(i == 0 || text[i - 1] == ',' || text[i - 1] == '\n');
            quoted = true;
        } else if (c == ',') {
            ++fields;
        } else if (c == '\n') {
            if (first) header_fields = fields;
            FUZZ_CHECK(fields == header_fields);
            fields = 1;
            first = false;
        }
    }
    FUZZ_CHECK(!quoted);
    FUZZ_CHECK(text.empty() || text.back() == '\n');
}

// Runs the report on `log` with `form`; returns what it wrote on standard output.
std::string run(const std::string& log, const char* form, int& code) {
    std::FILE* in = fmemopen(const_cast<char*>(log.data()), log.size(), "rb");
    char* out_text = nullptr;
    std::size_t out_size = 0;
    std::FILE* out = open_memstream(&out_text, &out_size);
    std::vector<const char*> argv = {"rotabench-report"};
    if (form) argv.push_back(form);
    argv.push_back("-");
    code = report::report_main(static_cast<int>(argv.size()), argv.data(), in, out, fuzz::null_stream());
    std::fclose(out);
    if (in) std::fclose(in);
    std::string text(out_text, out_size);
    std::free(out_text);
    return text;
}

// The plain report marks a kept run it flags with "  suspect: " on the run's
// line; only its first line holds text of the log's own (the serial, the
// start of script's recording), which could hold anything.
bool flags_a_run(const std::string& plain_text) {
    const auto first_line_end = plain_text.find('\n');
    return first_line_end != std::string::npos && plain_text.find("  suspect: ", first_line_end) != std::string::npos;
}

// --matrix prints the C array exactly when it exits 0, and never for a log
// whose plain report flags a run it keeps.
void check_matrix(const std::string& log, const std::string& plain_text) {
    int code = -1;
    const std::string matrix = run(log, "--matrix", code);
    FUZZ_CHECK(code >= 0 && code <= 4);
    // A line of its own: a serial holds no line end.
    const bool array = matrix.find("\nstatic const double kGyroCorrection[3][3] = {\n") != std::string::npos;
    FUZZ_CHECK(array == (code == report::kExitPass));
    if (flags_a_run(plain_text)) FUZZ_CHECK(!array);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // fmemopen wants a buffer
    const std::string log(reinterpret_cast<const char*>(data), size);
    int code = -1;
    const std::string text = run(log, nullptr, code);
    FUZZ_CHECK(code >= 0 && code <= 4);
    // From the summary on, the text holds figures and the report's own words only.
    const auto summary = text.find("\n==== summary");
    if (summary != std::string::npos) {
        FUZZ_CHECK(text.find("inf", summary) == std::string::npos);
        FUZZ_CHECK(text.find("nan", summary) == std::string::npos);
    }
    check_matrix(log, text);

    const std::string json = run(log, "--json", code);
    FUZZ_CHECK(code >= 0 && code <= 4);
    for (std::size_t at = 0, end; at < json.size(); at = end + 1) {
        end = json.find('\n', at);
        FUZZ_CHECK(end != std::string::npos);
        FUZZ_CHECK(JsonChecker(std::string_view(json).substr(at, end - at)).whole());
    }
    FUZZ_CHECK(json.empty() == (code == report::kExitError || code == report::kExitNoRuns));

    check_csv(run(log, "--csv", code));
    return 0;
}
