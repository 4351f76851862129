#include "simulator/scenario/script_steps.h"

#include <algorithm>
#include <cmath>

#include "console/console_input.h"

namespace vesko::simulator {
namespace {

// One kind of fault: its name in `fault = "..."`, and how its own keys (those
// besides fault, module and delay) are read into what it does.
struct FaultKind {
    std::string_view name;
    bool (*read)(FieldReader& r, Section& t, FaultStep& out);
};

bool seconds_of(FieldReader& r, Section& t, double most, double& seconds) {
    if (t.get("seconds") == nullptr) return r.fail(t.table(), t.key("seconds"), "missing: how long");
    return r.number_in(t, "seconds", seconds, 0.001, most);
}

std::int64_t nanoseconds(double seconds) { return static_cast<std::int64_t>(std::llround(seconds * 1e9)); }

bool count_of(FieldReader& r, Section& t, std::int64_t& count) { return r.integer_in(t, "count", count, 1, 1000000); }

constexpr FaultKind kFaultKinds[] = {
    {"silence",
     [](FieldReader& r, Section& t, FaultStep& out) {
         double s = 1.0;
         if (!seconds_of(r, t, 3600.0, s)) return false;
         out.what = StreamFault{Silence{nanoseconds(s)}};
         return true;
     }},
    {"unplug",
     [](FieldReader& r, Section& t, FaultStep& out) {
         double s = 1.0;
         if (!seconds_of(r, t, 3600.0, s)) return false;
         out.what = Unplug{s};
         return true;
     }},
    {"clock_leap",
     [](FieldReader& r, Section& t, FaultStep& out) {
         double s = 1.0;
         if (!seconds_of(r, t, 89.0, s)) return false;  // the 32-bit 48 MHz clock wraps at 89.5 s
         out.what = StreamFault{TimestampLeap{static_cast<std::uint32_t>(std::llround(s * 48e6))}};
         return true;
     }},
    {"short_reports",
     [](FieldReader& r, Section& t, FaultStep& out) {
         std::int64_t count = 1, length = 40;
         if (!count_of(r, t, count) || !r.integer_in(t, "length", length, 0, 51)) return false;
         out.what = StreamFault{ShortReports{static_cast<int>(count), static_cast<std::size_t>(length)}};
         return true;
     }},
    {"foreign_reports",
     [](FieldReader& r, Section& t, FaultStep& out) {
         std::int64_t count = 1, id = 0x21;
         if (!count_of(r, t, count) || !r.integer_in(t, "report_id", id, 0, 255)) return false;
         if (id == 0x20) return r.fail(*t.get("report_id"), t.key("report_id"), "0x20 (32) is the IMU report itself");
         out.what = StreamFault{ForeignReports{static_cast<int>(count), static_cast<std::uint8_t>(id)}};
         return true;
     }},
    {"repeated_reports",
     [](FieldReader& r, Section& t, FaultStep& out) {
         std::int64_t count = 1;
         if (!count_of(r, t, count)) return false;
         out.what = StreamFault{RepeatedReports{static_cast<int>(count)}};
         return true;
     }},
    {"swapped_reports",
     [](FieldReader& r, Section& t, FaultStep& out) {
         std::int64_t count = 1;
         if (!count_of(r, t, count)) return false;
         out.what = StreamFault{SwappedReports{static_cast<int>(count)}};
         return true;
     }},
    {"seq_restart",
     [](FieldReader& r, Section& t, FaultStep& out) {
         std::int64_t seq = 0;
         if (!r.integer_in(t, "seq", seq, 0, 255)) return false;
         out.what = StreamFault{SeqRestart{static_cast<std::uint8_t>(seq)}};
         return true;
     }},
};

bool fault(FieldReader& r, Section& t, const Scenario& s, FaultStep& out) {
    const toml::node* kind_node = t.get("fault");
    const auto* kind_str = kind_node->as_string();
    const std::string kind = kind_str ? kind_str->get() : std::string();
    if (!r.string_in(t, "module", out.module)) return false;
    if (!out.module.empty() && std::none_of(s.modules.begin(), s.modules.end(),
                                            [&](const ModulePlacement& m) { return m.serial == out.module; }))
        return r.fail(*t.get("module"), t.key("module"), "no module on the bus has serial \"" + out.module + "\"");
    if (!r.number_in(t, "delay", out.delay, 0.0, 3600.0)) return false;
    for (const FaultKind& k : kFaultKinds)
        if (k.name == kind) return k.read(r, t, out);
    std::string names;
    for (const FaultKind& k : kFaultKinds) names += (names.empty() ? "" : ", ") + std::string(k.name);
    return r.fail(*kind_node, t.key("fault"), "must be one of " + names);
}

// A run: the angle typed, Enter to arm, a settle, the turn, a settle, Enter.
bool run_step(FieldReader& r, Section& t, std::vector<OperatorStep>& out) {
    double angle = 0;
    if (!r.number(*t.get("run"), t.key("run"), angle)) return false;
    if (!(angle > 0))
        return r.fail(*t.get("run"), t.key("run"), "must be greater than 0 (type a bad angle with a \"type\" step)");
    TurnJig turn{0, angle, 1.0};
    double settle = 0.3;
    std::string typed = format_number(angle);
    if (!r.axis(t, turn.axis) || !r.string_in(t, "typed", typed) ||
        !r.number_in(t, "turn", turn.degrees, -3600.0, 3600.0) ||
        !r.number_in(t, "seconds", turn.seconds, 0.05, 60.0) || !r.number_in(t, "settle", settle, 0.0, 60.0))
        return false;
    // The steps below answer the questions of a run; an angle the console
    // refuses would leave them answering the wrong ones.
    if (!accepted_angle(typed)) {
        const bool own = t.get("typed") == nullptr;
        return r.fail(own ? *t.get("run") : *t.get("typed"), t.key(own ? "run" : "typed"),
                      "the console would refuse \"" + typed + "\" as an angle (type a bad angle with a \"type\" step)");
    }
    out.push_back(TypeLine{typed});     // the angle question
    out.push_back(TypeLine{""});        // Enter arms the run
    out.push_back(Wait{settle, true});  // at the finishing question
    out.push_back(turn);
    out.push_back(Wait{settle, true});
    out.push_back(TypeLine{""});  // Enter finishes it
    return true;
}

// The step of the kind found, read from its table.
bool step_of_kind(FieldReader& r, Section& t, std::string_view kind, const Scenario& s,
                  std::vector<OperatorStep>& out) {
    if (kind == "run") return run_step(r, t, out);
    if (kind == "type") {
        TypeLine line;
        if (!r.string_in(t, "type", line.text)) return false;
        if (line.text.find('\n') != std::string::npos)
            return r.fail(*t.get("type"), t.key("type"), "one line only: no newline");
        out.push_back(line);
        return true;
    }
    if (kind == "wait") {
        Wait w;
        if (!r.number_in(t, "wait", w.seconds, 0.0, 3600.0)) return false;
        out.push_back(w);
        return true;
    }
    if (kind == "turn") {
        TurnJig turn;
        if (!r.number_in(t, "turn", turn.degrees, -3600.0, 3600.0) || !r.axis(t, turn.axis) ||
            !r.number_in(t, "seconds", turn.seconds, 0.05, 60.0))
            return false;
        out.push_back(turn);
        return true;
    }
    if (kind == "fault") {
        FaultStep f;
        if (!fault(r, t, s, f)) return false;
        out.push_back(f);
        return true;
    }
    // quit or interrupt
    const std::string name(kind);
    const auto* yes = t.get(name)->as_boolean();
    if (yes == nullptr || !yes->get())
        return r.fail(*t.get(name), t.key(name), "must be true (the script just ending closes the input)");
    if (kind == "quit") {
        out.push_back(TypeLine{"q"});
    } else {
        out.push_back(PressCtrlC{});
    }
    return true;
}

bool step(FieldReader& r, const toml::table& table, const std::string& key, const Scenario& s,
          std::vector<OperatorStep>& out) {
    // Which kind of step: found in the table itself, so that each kind's
    // reader alone says which keys its step takes.
    constexpr std::string_view kinds[] = {"run", "type", "wait", "turn", "fault", "quit", "interrupt"};
    std::string_view kind;
    for (std::string_view k : kinds) {
        if (k == "turn" && table.get("run") != nullptr) continue;  // a run's own turn
        if (table.get(k) == nullptr) continue;
        if (!kind.empty())
            return r.fail(*table.get(k), key + "." + std::string(k),
                          "a step does one thing; this one already has \"" + std::string(kind) + "\"");
        kind = k;
    }
    if (kind.empty()) {
        std::string names;
        for (std::string_view k : kinds) names += (names.empty() ? "" : ", ") + std::string(k);
        return r.fail(table, key, "a step needs one of " + names);
    }
    Section t(table, key);
    return step_of_kind(r, t, kind, s, out) && r.done(t);
}

}  // namespace

bool read_script(FieldReader& r, const toml::array& steps, Scenario& s) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const toml::table& t = *steps.get(i)->as_table();
        const std::string key = "script[" + std::to_string(i) + "]";
        for (const char* last : {"quit", "interrupt"}) {
            if (i > 0 && steps.get(i - 1)->as_table()->get(last) != nullptr)
                return r.fail(t, key,
                              std::string("comes after ") + (last[0] == 'q' ? "a quit" : "an interrupt") +
                                  ", and would never be carried out");
        }
        if (!step(r, t, key, s, s.script)) return false;
    }
    return true;
}

}  // namespace vesko::simulator
