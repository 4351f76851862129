// The operator's guide names every message that rotabench and
// rotabench-report print: the messages are found in the sources, so a new
// one fails here until the guide says what it means. The scenario guide's
// tables name every key the scenario reader takes, and no other.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/scenario/scenario_load.h"

namespace vesko {
namespace {

std::string read(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string collapse_blanks(const std::string& text) { return std::regex_replace(text, std::regex("[ \t\r\n]+"), " "); }

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

using Names = std::set<std::string>;

// The names a table cell gives in backquotes: `name`, `name = true`.
Names names_in(const std::string& cell) {
    static const std::regex name("`([a-z_]+)");
    Names out;
    for (auto m = std::sregex_iterator(cell.begin(), cell.end(), name); m != std::sregex_iterator(); ++m)
        out.insert((*m)[1]);
    return out;
}

// The rows of the tables between `heading` and the next heading, as cells
// (without their header rows).
std::vector<std::vector<std::string>> rows_under(const std::string& doc, const std::string& heading) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(doc);
    bool under = false;
    bool code = false;
    std::size_t row = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("```", 0) == 0) code = !code;
        if (code) continue;
        if (line.rfind('#', 0) == 0) {
            if (under) break;
            under = line == heading;
        } else if (!under || line.rfind('|', 0) != 0) {
            row = 0;
        } else if (row++ >= 2) {
            std::vector<std::string> cells;
            std::istringstream cs(line.substr(1));
            for (std::string cell; std::getline(cs, cell, '|');)
                cells.push_back(std::regex_replace(cell, std::regex("^ +| +$"), ""));
            rows.push_back(cells);
        }
    }
    EXPECT_FALSE(rows.empty()) << "docs/scenarios.md has no table under \"" << heading << "\"";
    return rows;
}

// The names the reader looked up in each table it read, by the table's key.
std::map<std::string, Names> taken(const simulator::ScenarioLoad& load) {
    std::map<std::string, Names> out;
    for (const simulator::TableKeys& t : load.tables) out[t.table].insert(t.names.begin(), t.names.end());
    return out;
}

// The same of a scenario that must be read whole.
std::map<std::string, Names> taken(const std::string& text) {
    const simulator::ScenarioLoad load = simulator::parse_scenario(text, "probe.toml");
    EXPECT_TRUE(load.scenario) << load.error;
    return taken(load);
}

// The names of what the reader refuses `text` for: "must be one of A, B".
Names listed_by_refusal(const std::string& text) {
    const std::string error = simulator::parse_scenario(text, "probe.toml").error;
    const std::size_t at = error.find("one of ");
    EXPECT_NE(at, std::string::npos) << error;
    Names out;
    std::istringstream in(error.substr(at == std::string::npos ? error.size() : at + 7));
    for (std::string name; std::getline(in, name, ',');) out.insert(std::regex_replace(name, std::regex("^ +"), ""));
    return out;
}

void expect_same(const Names& reader, const Names& guide, const std::string& where) {
    for (const std::string& k : reader)
        EXPECT_TRUE(guide.count(k)) << "docs/scenarios.md, " << where << ": no `" << k << "`, which the reader takes";
    for (const std::string& k : guide)
        EXPECT_TRUE(reader.count(k)) << "docs/scenarios.md, " << where << ": `" << k << "`, which the reader refuses";
}

TEST(OperatorGuide, ScenarioGuideNamesEveryKeyTheReaderTakes) {
    const std::string guide = read(std::filesystem::path(ROTABENCH_SOURCE_DIR) / "docs/scenarios.md");
    const auto keys_under = [&](const std::string& heading) {
        Names out;
        for (const auto& row : rows_under(guide, heading)) out.merge(names_in(row.at(0)));
        return out;
    };

    // Every table but the script's, each with only what it must hold: the
    // reader looks up every key a table may hold, there or not.
    auto tables = taken(
        "[[bus.modules]]\nserial = \"A\"\nport = 1\n[bus.modules.model]\n[[bus.mcus]]\nport = 2\n"
        "[operator]\n[expect]\n[[rehearse]]\naxis = \"x\"\n");
    expect_same(tables[""], keys_under("## Top level"), "the top level");
    expect_same(tables["bus.modules[0].model"], keys_under("### The module model"), "the module model");
    expect_same(tables["operator"], keys_under("### The operator's own errors"), "[operator]");
    expect_same(tables["expect"], keys_under("## Expectations: scenarios that check themselves"), "[expect]");
    expect_same(tables["rehearse[0]"], keys_under("## Rehearsal: the operator at the keyboard"), "[[rehearse]]");
    std::map<std::string, Names> on;
    for (const auto& row : rows_under(guide, "## The bus"))
        for (const auto& [word, table] :
             {std::pair<std::string, std::string>{"bus", "bus"}, {"module", "bus.modules[0]"}, {"MCU", "bus.mcus[0]"}})
            if (std::regex_search(row.at(1), std::regex("\\b" + word + "\\b"))) on[table].merge(names_in(row.at(0)));
    for (const char* table : {"bus", "bus.modules[0]", "bus.mcus[0]"})
        expect_same(tables[table], on[table], std::string("the bus's keys on ") + table);

    // Each kind of step, and each kind of fault, as the reader names them.
    std::map<std::string, Names> step_rows;
    for (const auto& row : rows_under(guide, "## The operator's script")) step_rows[row.at(0)] = names_in(row.at(1));
    std::map<std::string, Names> fault_rows;
    for (const auto& row : rows_under(guide, "### Faults")) {
        const Names kind = names_in(row.at(0));
        if (!kind.empty()) fault_rows[*kind.begin()] = names_in(row.at(1));
    }
    const std::map<std::string, std::string> required = {{"run", "run = 90\naxis = \"x\"\n"},
                                                         {"type", "type = \"90\"\n"},
                                                         {"wait", "wait = 1\n"},
                                                         {"turn", "turn = 90\naxis = \"x\"\n"},
                                                         {"quit", "quit = true\n"},
                                                         {"interrupt", "interrupt = true\n"}};
    // A kind's row, looked up without adding one.
    const auto row_of = [](const std::map<std::string, Names>& rows, const std::string& kind) {
        const auto it = rows.find(kind);
        return it == rows.end() ? Names{} : it->second;
    };
    const auto kinds_of = [](const std::map<std::string, Names>& rows) {
        Names out;
        for (const auto& row : rows) out.insert(row.first);
        return out;
    };
    Names step_kinds, fault_kinds;
    for (const std::string& kind : listed_by_refusal("[[script]]\n")) {
        step_kinds.insert(kind);
        if (kind == "fault") continue;
        ASSERT_TRUE(required.count(kind)) << "a \"" << kind << "\" step: say here what it must hold";
        expect_same(taken("[[script]]\n" + required.at(kind))["script[0]"], row_of(step_rows, kind),
                    "the " + kind + " step");
    }
    for (const std::string& kind : listed_by_refusal("[[script]]\nfault = \"?\"\n")) {
        fault_kinds.insert(kind);
        // A number for each key the fault cannot go without.
        std::string text = "[[script]]\nfault = \"" + kind + "\"\n";
        simulator::ScenarioLoad load = simulator::parse_scenario(text, "probe.toml");
        static const std::regex missing_key("\"script\\[0\\]\\.(\\w+)\": missing");
        std::smatch missing;
        for (int i = 0; i < 4 && std::regex_search(load.error, missing, missing_key); ++i)
            load = simulator::parse_scenario(text += missing[1].str() + " = 1\n", "probe.toml");
        EXPECT_TRUE(load.scenario) << load.error;
        Names keys = row_of(step_rows, "fault");
        keys.merge(row_of(fault_rows, kind));
        expect_same(taken(load)["script[0]"], keys, "the " + kind + " fault");
    }
    expect_same(step_kinds, kinds_of(step_rows), "the steps");
    expect_same(fault_kinds, kinds_of(fault_rows), "the faults");
}

}  // namespace
}  // namespace vesko
