#include "simulator/scenario/scenario_write.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "simulator/overloaded.h"

namespace vesko::simulator {
namespace {

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string integer(std::uint64_t v) { return std::to_string(v); }

// A TOML basic string.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string triple(const Vec3& v) {
    std::string out = "[";
    out += number(v[0]);
    out += ", ";
    out += number(v[1]);
    out += ", ";
    out += number(v[2]);
    return out + "]";
}

std::string ports(const PortChain& chain) {
    std::string out;
    for (const int p : chain) {
        if (!out.empty()) out += '.';
        out += std::to_string(p);
    }
    return quoted(out);
}

std::string paths(const MoreLocationPaths& more) {
    if (more.empty()) return "";
    std::string out = "more_location_paths = [";
    for (std::size_t i = 0; i < more.size(); ++i) {
        if (i > 0) out += ", ";
        out += quoted(more[i]);
    }
    return out + "]\n";
}

void model(std::string& out, const ModuleParams& p) {
    out += "[bus.modules.model]\n";
    out += "rate_hz = " + number(p.sample_rate_hz) + "\n";
    out += "scale = " + triple(p.gyro_scale) + "\n";
    out += "bias = " + triple(p.gyro_bias) + "\n";
    out += "noise_sd = " + number(p.gyro_noise_sd) + "\n";
    out += "coupling = [" + triple(p.coupling[0]) + ", " + triple(p.coupling[1]) + ", " + triple(p.coupling[2]) + "]\n";
    out += "accel_counts_per_g = " + number(p.accel_counts_per_g) + "\n";
    out += "accel_noise_sd = " + number(p.accel_noise_sd) + "\n";
    out += "seed = " + integer(p.noise_seed) + "\n";
    out += "first_timestamp = " + integer(p.first_timestamp) + "\n";
    out += "first_seq = " + integer(p.first_seq) + "\n";
}

const char* axis_name(int axis) { return axis == 0 ? "\"x\"" : axis == 1 ? "\"y\"" : "\"z\""; }

std::string fault(const FaultStep& f) {
    std::string out;
    if (!f.module.empty()) out += "module = " + quoted(f.module) + "\n";
    out += "delay = " + number(f.delay) + "\n";
    const auto count = [](int n) { return integer(static_cast<std::uint64_t>(n)); };
    const auto stream = Overloaded{
        [&](const Silence& s) {
            return "fault = \"silence\"\n" + out + "seconds = " + number(static_cast<double>(s.duration_ns) / 1e9) +
                   "\n";
        },
        [&](const TimestampLeap& s) {
            return "fault = \"clock_leap\"\n" + out + "seconds = " + number(static_cast<double>(s.ticks) / 48e6) + "\n";
        },
        [&](const ShortReports& s) {
            return "fault = \"short_reports\"\n" + out + "count = " + count(s.count) +
                   "\nlength = " + integer(s.length) + "\n";
        },
        [&](const ForeignReports& s) {
            return "fault = \"foreign_reports\"\n" + out + "count = " + count(s.count) +
                   "\nreport_id = " + integer(s.report_id) + "\n";
        },
        [&](const RepeatedReports& s) {
            return "fault = \"repeated_reports\"\n" + out + "count = " + count(s.count) + "\n";
        },
        [&](const SwappedReports& s) {
            return "fault = \"swapped_reports\"\n" + out + "count = " + count(s.count) + "\n";
        },
        [&](const SeqRestart& s) { return "fault = \"seq_restart\"\n" + out + "seq = " + integer(s.value) + "\n"; },
    };
    return std::visit(Overloaded{[&](const Unplug& u) {
                                     return "fault = \"unplug\"\n" + out + "seconds = " + number(u.seconds) + "\n";
                                 },
                                 [&](const StreamFault& s) { return std::visit(stream, s); }},
                      f.what);
}

// Steps [i, i + 6) as one run: the angle, Enter, a settle, the turn, the same
// settle, Enter. Empty when they are not one.
std::string as_run(const std::vector<OperatorStep>& s, std::size_t i) {
    if (i + 6 > s.size()) return "";
    const auto* angle = std::get_if<TypeLine>(&s[i]);
    const auto* arm = std::get_if<TypeLine>(&s[i + 1]);
    const auto* before = std::get_if<Wait>(&s[i + 2]);
    const auto* turn = std::get_if<TurnJig>(&s[i + 3]);
    const auto* after = std::get_if<Wait>(&s[i + 4]);
    const auto* finish = std::get_if<TypeLine>(&s[i + 5]);
    if (!angle || !arm || !before || !turn || !after || !finish || !arm->text.empty() || !finish->text.empty() ||
        !before->settle || !after->settle || before->seconds != after->seconds)
        return "";
    const double typed = std::atof(angle->text.c_str());
    if (!(typed > 0)) return "";
    return "run = " + number(typed) + "\ntyped = " + quoted(angle->text) + "\naxis = " + axis_name(turn->axis) +
           "\nturn = " + number(turn->degrees) + "\nseconds = " + number(turn->seconds) +
           "\nsettle = " + number(before->seconds) + "\n";
}

}  // namespace

std::string scenario_toml(const Scenario& sc) {
    std::string out;
    if (!sc.title.empty()) out += "title = " + quoted(sc.title) + "\n";
    if (sc.serial) out += "serial = " + quoted(*sc.serial) + "\n";
    if (!sc.jig_module.empty()) out += "jig = " + quoted(sc.jig_module) + "\n";
    const OperatorErrors& e = sc.errors;
    out += "\n[operator]\nturn_error = " + number(e.turn_error) + "\nturn_error_sd = " + number(e.turn_error_sd) +
           "\nsettle_jitter = " + number(e.settle_jitter) + "\nseed = " + integer(e.seed) + "\n";
    for (const McuPlacement& mcu : sc.mcus)
        out += "\n[[bus.mcus]]\nport = " + ports(mcu.ports) + "\n" + paths(mcu.more_location_paths);
    for (const ModulePlacement& m : sc.modules) {
        out += "\n[[bus.modules]]\nserial = " + quoted(m.serial) + "\nport = " + ports(m.ports) + "\n" +
               paths(m.more_location_paths);
        if (m.detail_read_fails) out += "detail_read_fails = true\n";
        if (m.path_in_capitals) out += "path_in_capitals = true\n";
        if (m.attributes_product_id) out += "attributes_product_id = " + integer(*m.attributes_product_id) + "\n";
        model(out, m.params);
    }
    for (std::size_t i = 0; i < sc.script.size(); ++i) {
        out += "\n[[script]]\n";
        if (const std::string run = as_run(sc.script, i); !run.empty()) {
            out += run;
            i += 5;
            continue;
        }
        std::visit(Overloaded{
                       [&](const TypeLine& s) {
                           // "q" is a quit step only as the last one: nothing may follow a quit.
                           const bool last = i + 1 == sc.script.size();
                           out += s.text == "q" && last ? "quit = true\n" : "type = " + quoted(s.text) + "\n";
                       },
                       [&](const Wait& s) { out += "wait = " + number(s.seconds) + "\n"; },
                       [&](const TurnJig& s) {
                           out += "turn = " + number(s.degrees) + "\naxis = " + axis_name(s.axis) +
                                  "\nseconds = " + number(s.seconds) + "\n";
                       },
                       [&](const FaultStep& s) { out += fault(s); },
                       [&](const PressCtrlC&) { out += "interrupt = true\n"; },
                   },
                   sc.script[i]);
    }
    return out;
}

}  // namespace vesko::simulator
