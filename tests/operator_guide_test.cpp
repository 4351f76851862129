// The operator's guide names every message that rotabench and
// rotabench-report print: the messages are found in the sources, so a new
// one fails here until the guide says what it means.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace vesko {
namespace {

std::string read(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string collapse_blanks(const std::string& text) {
    return std::regex_replace(text, std::regex("[ \t\r\n]+"), " ");
}

// The C++ string literal starting at `at` (a quote), decoded; `at` moves past it.
std::string literal(const std::string& src, std::size_t& at) {
    std::string out;
    for (++at; at < src.size() && src[at] != '"'; ++at) {
        if (src[at] != '\\') {
            out += src[at];
            continue;
        }
        const char e = src[++at];
        if (e == 'n' || e == 't') {
            out += ' ';
        } else if (e == 'x') {
            out += static_cast<char>(std::stoi(src.substr(at + 1, 2), nullptr, 16));
            at += 2;
        } else if (e == 'u') {
            out += "\xE2\x80\x94";  // the only one the messages use
            at += 4;
        } else {
            out += e;
        }
    }
    ++at;
    return out;
}

// The text of each print call's literals, adjacent ones (and the em dash)
// joined, and of each named text `constexpr char kName[] = "..."`.
std::vector<std::string> messages_in(const std::string& src) {
    std::vector<std::string> found;
    static const std::regex start(R"((fprintf|fputs|\.print|\.write)\(|constexpr (const )?char(\*)? k\w+(\[\])? =)");
    for (auto m = std::sregex_iterator(src.begin(), src.end(), start); m != std::sregex_iterator(); ++m) {
        std::size_t at = static_cast<std::size_t>(m->position() + m->length());
        std::string text;
        for (int depth = 0; at < src.size() && src[at] != ';' && depth >= 0;) {
            if (src[at] == '"') {
                text += literal(src, at);
                continue;
            }
            if (src.compare(at, 17, "ROTABENCH_EM_DASH") == 0) {
                text += "\xE2\x80\x94";
                at += 17;
                continue;
            }
            if (src[at] == ',' || src[at] == ')' || src[at] == '?' || src[at] == ':') {
                if (!text.empty()) found.push_back(text);
                text.clear();
            }
            depth += src[at] == '(' ? 1 : src[at] == ')' ? -1 : 0;
            ++at;
        }
        if (!text.empty()) found.push_back(text);
    }
    return found;
}

TEST(OperatorGuide, NamesEveryMessageTheProgramsPrint) {
    const std::filesystem::path root = ROTABENCH_SOURCE_DIR;
    const std::string guide = collapse_blanks(read(root / "docs/operator.md"));
    static const std::regex conversion(R"(%[-+ #0]*[0-9*]*(\.[0-9*]+)?(hh|h|ll|l|z|j|t|L)?[diouxXeEfFgGcsp])");
    std::size_t pieces = 0;
    for (const char* dir : {"src/console", "src/imu", "src/discovery", "src/app", "src/report"}) {
        for (const auto& entry : std::filesystem::directory_iterator(root / dir)) {
            if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
            // The report's own layout and its CSV and JSON are shown by example in the guide.
            if (entry.path().filename() == "report_output.cpp") continue;
            for (const std::string& message : messages_in(read(entry.path()))) {
                const std::string text = std::regex_replace(message, std::regex("%%"), "%");
                // The fixed text between the figures: each part with words in it must be in the guide.
                for (auto it = std::sregex_token_iterator(text.begin(), text.end(), conversion, -1);
                     it != std::sregex_token_iterator(); ++it) {
                    std::string piece = collapse_blanks(*it);
                    piece = std::regex_replace(piece, std::regex("^[: ]+| $"), "");
                    if (std::count_if(piece.begin(), piece.end(), ::isalpha) < 3) continue;
                    ++pieces;
                    EXPECT_NE(guide.find(piece), std::string::npos)
                        << entry.path().filename() << ": docs/operator.md lacks \"" << piece << "\"";
                }
            }
        }
    }
    EXPECT_GE(pieces, 40u);
}

}  // namespace
}  // namespace vesko
