#pragma once

// Section: one table of a scenario file as its reader goes through it. Each
// key the reader looks up, there or not, is noted: once the table has been
// read, a key it holds that was never looked up is one no reader knows.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario/toml_reader.h"

namespace vesko::simulator {

// "prefix.name", or "name" without a prefix.
std::string joined(const std::string& prefix, std::string_view name);

class Section {
public:
    // `key` names the table in errors ("bus.modules[0]"; "" for the top level).
    Section(const toml::table& table, std::string key) : table_(&table), key_(std::move(key)) {}

    const toml::table& table() const { return *table_; }
    const std::string& key() const { return key_; }
    // The key of one of its names, as errors give it.
    std::string key(std::string_view name) const { return joined(key_, name); }

    // The value of `name`, or nullptr; either way `name` is known from now on.
    const toml::node* get(std::string_view name) {
        if (std::find(looked_up_.begin(), looked_up_.end(), name) == looked_up_.end()) looked_up_.emplace_back(name);
        return table_->get(name);
    }

    // The names looked up so far, in the order of their first look.
    const std::vector<std::string>& looked_up() const { return looked_up_; }

    // The first key of the table (in its own order) never looked up, or nullptr.
    const toml::key* unknown() const {
        for (auto&& [k, v] : *table_)
            if (std::find(looked_up_.begin(), looked_up_.end(), k.str()) == looked_up_.end()) return &k;
        return nullptr;
    }

private:
    const toml::table* table_;
    std::string key_;
    std::vector<std::string> looked_up_;
};

}  // namespace vesko::simulator
