#include "swarm/draw_session.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "calibration/run_result.h"
#include "simulator/model/module_fault.h"

namespace vesko::swarm {
namespace {

using simulator::OperatorStep;
using simulator::Scenario;

// splitmix64: small, fast, and the same numbers everywhere.
class Draws {
public:
    explicit Draws(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    std::uint64_t bits() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(bits() >> 11) * 0x1.0p-53; }
    double between(double lo, double hi) { return lo + (hi - lo) * unit(); }
    // A whole number from lo to hi, both included.
    int whole(int lo, int hi) { return lo + static_cast<int>(bits() % static_cast<std::uint64_t>(hi - lo + 1)); }
    bool chance(double p) { return unit() < p; }
    // Times to a millisecond, as a person writes them.
    double ms(double lo, double hi) { return std::round(between(lo, hi) * 1000.0) / 1000.0; }

private:
    std::uint64_t state_;
};

std::string serial(Draws& d) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s = "KVR-";
    for (int i = 0; i < 6; ++i) s += kHex[d.whole(0, 15)];
    return s;
}

simulator::ModuleParams truth(Draws& d, std::uint64_t seed) {
    simulator::ModuleParams p;
    constexpr double kRates[] = {250, 480, 500, 800, 1500, 2000};
    p.sample_rate_hz = d.chance(0.8) ? 1000.0 : kRates[d.whole(0, 5)];
    for (int a = 0; a < 3; ++a) {
        p.gyro_scale[a] = 0.001 * (1.0 + d.between(-0.05, 0.05));
        p.gyro_bias[a] = std::round(d.between(-30, 30) * 10) / 10;
        for (int b = 0; b < 3; ++b) p.coupling[a][b] = a == b ? 0.0 : std::round(d.between(-0.01, 0.01) * 1e4) / 1e4;
    }
    p.gyro_noise_sd = std::round(d.between(0.5, 6.0) * 10) / 10;
    p.noise_seed = seed;
    p.first_timestamp = static_cast<std::uint32_t>(d.bits());
    p.first_seq = static_cast<std::uint8_t>(d.bits());
    return p;
}

// The typed text of an angle the console takes.
std::string typed_angle(Draws& d, double degrees) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", degrees);
    std::string text = buf;
    if (d.chance(0.05)) text += ".0";
    if (d.chance(0.05)) text += " deg";
    return text;
}

simulator::FaultStep fault(Draws& d, double within_s, const std::string& other_module) {
    simulator::FaultStep f;
    if (!other_module.empty() && d.chance(0.1)) f.module = other_module;
    f.delay = d.ms(0.0, within_s);
    const double kind = d.unit();
    if (kind < 0.3) {
        f.what = simulator::StreamFault{simulator::Silence{std::llround(d.ms(0.1, 5.0) * 1e9)}};
    } else if (kind < 0.5) {
        f.what = simulator::Unplug{d.ms(0.1, 5.0)};
    } else if (kind < 0.6) {
        // Enough cut reports to starve a bias capture, or a few.
        f.what = simulator::StreamFault{simulator::ShortReports{d.chance(0.5) ? d.whole(200, 500) : d.whole(1, 20),
                                                                static_cast<std::size_t>(d.whole(0, 51))}};
    } else if (kind < 0.7) {
        f.what = simulator::StreamFault{
            simulator::ForeignReports{d.whole(1, 50), static_cast<std::uint8_t>(d.whole(0x21, 0xFF))}};
    } else if (kind < 0.8) {
        f.what = simulator::StreamFault{simulator::RepeatedReports{d.whole(1, 50)}};
    } else if (kind < 0.9) {
        f.what = simulator::StreamFault{simulator::SwappedReports{d.whole(1, 50)}};
    } else if (kind < 0.95) {
        f.what = simulator::StreamFault{simulator::SeqRestart{static_cast<std::uint8_t>(d.whole(0, 255))}};
    } else {
        // A leap the console sees as a gap: a smaller one inside a turn is a
        // clock the console cannot tell from a true one.
        f.what = simulator::StreamFault{
            simulator::TimestampLeap{static_cast<std::uint32_t>(std::llround(d.ms(0.6, 5.0) * 48e6))}};
    }
    return f;
}

}  // namespace

Scenario draw_session(std::uint64_t seed) {
    Draws d(seed);
    Scenario s;
    s.title = "swarm session " + std::to_string(seed);

    // The bus: the jig's module on the hub of port 1, with the MCU on it or
    // not; the others on a hub of their own, or (rarely) beside it.
    const int modules = d.chance(0.6) ? 1 : d.chance(0.6) ? 2 : 3;
    const bool mcu = d.chance(0.85);
    if (mcu) s.mcus.push_back({{1, 4}, {}});
    for (int m = 0; m < modules; ++m) {
        simulator::ModulePlacement p;
        p.serial = serial(d);
        p.ports = m == 0          ? simulator::PortChain{1, 2}
                  : d.chance(0.1) ? simulator::PortChain{1, 2 * m + 1}
                                  : simulator::PortChain{2, m};
        p.params = truth(d, seed + static_cast<std::uint64_t>(m) * 0x100000000ull);
        s.modules.push_back(p);
    }
    s.jig_module = s.modules.front().serial;
    if (d.chance(0.2)) s.serial = s.jig_module;
    else if (modules > 1 && d.chance(0.05)) s.serial = s.modules.back().serial;
    const std::string other = modules > 1 ? s.modules.back().serial : std::string();

    s.errors.seed = seed;
    if (d.chance(0.3)) s.errors.settle_jitter = d.ms(0.0, 0.4);

    const simulator::ModuleParams& jig = s.modules.front().params;
    const int runs = d.whole(1, 4);
    for (int r = 0; r < runs; ++r) {
        constexpr double kAngles[] = {90, 180, 180, 360, 360, 45, 270, 720};
        const double angle = kAngles[d.whole(0, 7)];
        simulator::TurnJig turn;
        turn.axis = d.whole(0, 2);
        turn.degrees = d.chance(0.6) ? angle : std::round((angle + d.between(-1.0, 1.0)) * 1000) / 1000;
        if (d.chance(0.3)) turn.degrees = -turn.degrees;
        // No faster than 80% of what the counts can hold at the peak rate
        // (twice the mean of the raised cosine).
        const double fastest = 2.0 * std::fabs(turn.degrees) * kPi / 180.0 /
                               (0.8 * 32767.0 * jig.gyro_scale[static_cast<std::size_t>(turn.axis)]);
        turn.seconds = std::ceil(std::max(fastest, 0.3) * 1000 + d.between(0.0, 2500.0)) / 1000;
        const double settle = d.chance(0.2) ? d.ms(0.0, 0.1) : d.chance(0.1) ? d.ms(1.5, 4.0) : d.ms(0.1, 1.5);

        if (d.chance(0.1)) {
            constexpr const char* kTypos[] = {"abc", "0", "-90", "", "nan", "1e999", "  ", "ninety"};
            s.script.push_back(simulator::TypeLine{kTypos[d.whole(0, 7)]});
        }
        if (d.chance(0.35)) s.script.push_back(fault(d, 2.0 + 2 * settle + turn.seconds + 0.5, other));
        if (d.chance(0.05)) s.script.push_back(fault(d, 2.0 + 2 * settle + turn.seconds + 0.5, other));
        const std::string typed = typed_angle(d, angle);
        if (r + 1 == runs && d.chance(0.05)) {
            // Ctrl-C in the middle of the turn: the run is broken off.
            simulator::TurnJig half = turn;
            half.degrees /= 2;
            half.seconds /= 2;
            s.script.insert(s.script.end(), {OperatorStep{simulator::TypeLine{typed}}, simulator::TypeLine{""},
                                             simulator::Wait{settle, false}, half, simulator::PressCtrlC{}});
            return s;
        }
        s.script.insert(s.script.end(),
                        {OperatorStep{simulator::TypeLine{typed}}, simulator::TypeLine{""},
                         simulator::Wait{settle, true}, turn, simulator::Wait{settle, true}, simulator::TypeLine{""}});
        if (d.chance(0.05)) s.script.push_back(simulator::Wait{d.ms(0.0, 6.0), false});
    }
    const double end = d.unit();
    if (end < 0.75) s.script.push_back(simulator::TypeLine{"q"});
    else if (end < 0.9) s.script.push_back(simulator::PressCtrlC{});
    // else the input just ends
    return s;
}

}  // namespace vesko::swarm
