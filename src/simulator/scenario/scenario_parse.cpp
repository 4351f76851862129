// Scenario files: TOML read by toml++, checked key by key. Every error names
// the file, the line and the key; unknown keys are errors, so a typo never
// silently falls back to a default.
#include <cstdio>

#include "simulator/scenario/scenario_load.h"
#include "simulator/scenario/scenario_sections.h"
#include "simulator/scenario/toml_text_guard.h"

namespace vesko::simulator {

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
    FieldReader reader(source_name);
    load.scenario = read_sections(reader, parsed.table());
    if (!load.scenario) load.error = reader.error();
    load.tables = reader.tables();
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
