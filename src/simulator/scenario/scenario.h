#pragma once

// Scenario: one simulated session (the bus, the modules' truths, the command line, the operator's
// script).

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "simulator/model/module_fault.h"
#include "simulator/model/module_params.h"

namespace vesko::simulator {

// A USB position as a chain of port numbers from the root hub: {2, 1} is port
// 1 of the hub on port 2 of the root hub. Every shorter chain of a device's
// position is a hub.
using PortChain = std::vector<int>;

// Further entries of a device's location-paths property after its own USB
// path (a real device may list an ACPI path too). Long ones make a value that
// does not fit the 1024 bytes the console reads.
using MoreLocationPaths = std::vector<std::string>;

struct ModulePlacement {
    std::string serial;
    PortChain ports;
    ModuleParams params;
    MoreLocationPaths more_location_paths;
    bool detail_read_fails = false;                      // its HID interface's detail read fails
    bool path_in_capitals = false;                       // its HID interfaces' device paths in capitals ("&MI_00")
    std::optional<std::uint16_t> attributes_product_id;  // what its HID attributes name instead of 2300
};

struct McuPlacement {
    PortChain ports;
    MoreLocationPaths more_location_paths;
};

// --- what the operator does, in order ------------------------------------

// Types one line (without its newline) at the console's next question.
struct TypeLine {
    std::string text;
};

struct Wait {
    double seconds = 0.0;
    bool settle = false;  // a run's stillness before or after its turn
};

// Turns the jig and waits until it is still again.
struct TurnJig {
    int axis = 0;  // 0, 1, 2 = X, Y, Z
    double degrees = 0.0;
    double seconds = 1.0;
};

// The module's cable out for a while; the module reboots when it is back.
struct Unplug {
    double seconds = 0.0;
};

// A fault of one module, `delay` seconds after the operator reaches it.
struct FaultStep {
    std::string module;  // serial; empty: the module on the jig
    double delay = 0.0;
    std::variant<StreamFault, Unplug> what;
};

// Ctrl-C at the console; the operator does nothing after it.
struct PressCtrlC {};

using OperatorStep = std::variant<TypeLine, Wait, TurnJig, FaultStep, PressCtrlC>;

// The operator's own errors, drawn per session from `seed`; all zero (the
// default) draws nothing, and the script plays as written.
struct OperatorErrors {
    double turn_error = 0.0;     // degrees more than typed on every turn, in its direction
    double turn_error_sd = 0.0;  // degrees, drawn for each turn
    double settle_jitter = 0.0;  // seconds, sd of each run's stillness before and after its turn
    std::uint64_t seed = 1;
};

// One turn of a rehearsal's jig, which turns by itself after the operator
// arms the run: about `axis`, the other way when `reverse`, by the angle the
// operator typed or, when the plan gives one, by `degrees` whatever was typed.
struct RehearsalTurn {
    int axis = 0;  // 0, 1, 2 = X, Y, Z
    bool reverse = false;
    std::optional<double> degrees;
};

// What a session must show, checked when it ends. Lines must appear in this
// order (other lines may come between); a line written "re:PATTERN" matches
// any line the ECMAScript pattern matches whole, for lines with figures.
struct Expectation {
    std::optional<int> exit_code;
    std::vector<std::string> out_lines;  // standard output
    std::vector<std::string> err_lines;  // standard error
    // Lines checked only in virtual time, where every figure is exact and the
    // same on every run; in real time a mask in out_lines or err_lines stands
    // in for them.
    std::vector<std::string> fast_out_lines;
    std::vector<std::string> fast_err_lines;
};

// One simulated session: the bus, the modules' truths, the command line and
// the operator's script.
struct Scenario {
    std::string title;
    std::optional<std::string> serial;  // passed as --imu-serial
    std::string jig_module;             // serial of the module mounted on the jig
    std::vector<ModulePlacement> modules;
    std::vector<McuPlacement> mcus;
    std::vector<OperatorStep> script;
    OperatorErrors errors;
    std::optional<Expectation> expect;
    // The turns of a rehearsal, in order, then again from the first; empty:
    // X, Y and Z in turn, each one way and then the other.
    std::vector<RehearsalTurn> rehearsal;
};

}  // namespace vesko::simulator
