// The host of the scripted Windows device stack.
//
//   devstack_host [--console] SCENARIO.toml PROGRAM.exe [ARGS...]
//
// Builds the scenario's simulated bus (the same files rotabench-sim runs),
// answers the replacement setupapi/hid/cfgmgr32 DLLs over a control pipe,
// serves each HID interface as a named pipe, and starts PROGRAM (found next
// to this host, where the replacement DLLs are) with the control pipe's name
// in its environment. The scenario's operator answers the program's
// questions on its standard input, turns the jig and pulls cables; the
// scenario's serial, if any, is passed as "--imu-serial SERIAL" after ARGS.
//
// Standard output is the program's, with each typed line shown after its
// question; standard error is the program's, then one "devstack: " line per
// call the DLLs refused for its arguments and per resource left at exit.
// The exit code is the program's (-1 when it had to be ended).
//
// With --console the program writes straight to the console window this
// host runs in, as it would for an operator, and the script's lines are
// typed ahead, then input ends (for scripts that only type: no turns, no
// cables).

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <string>
#include <vector>

#include "child_console.h"
#include "control_pipe.h"
#include "devstack_protocol.h"
#include "host_bench.h"
#include "module_pipes.h"
#include "simulator/scenario/scenario_load.h"
#include "simulator/session/bus_layout.h"
#include "simulator/session/scripted_operator.h"

namespace {

using namespace vesko;

constexpr unsigned kProgramLimitMs = 120'000;
constexpr std::int64_t kPollNs = 10'000'000;

std::wstring quoted(const std::string& arg) {
    std::wstring out = L"\"";
    for (const char c : arg) {
        if (c == '"') out += L'\\';
        out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return out + L"\"";
}

// The DLLs report each resource count once, at their process's exit; a DLL
// that never reports was not the one loaded.
void report_ledger(const devstack::ControlPipe& control, std::FILE* err) {
    for (const std::string& m : control.misuses()) std::fprintf(err, "devstack: misuse: %s\n", m.c_str());
    const auto ledger = control.ledger();
    for (const char* what : {"device-information list(s) never destroyed", "module handle(s) still open at exit"}) {
        const auto it = ledger.find(what);
        if (it == ledger.end()) {
            std::fprintf(err, "devstack: no count of %s came (the replacement DLL was not loaded?)\n", what);
        } else if (it->second != 0) {
            std::fprintf(err, "devstack: %lu %s\n", it->second, what);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool to_console = argc > 1 && std::string(argv[1]) == "--console";
    if (to_console) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fputs("usage: devstack_host [--console] SCENARIO.toml PROGRAM.exe [ARGS...]\n", stderr);
        return 2;
    }
    // The program's bytes pass through as they are, "\r\n" and all.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    const simulator::ScenarioLoad load = simulator::load_scenario_file(argv[1]);
    if (!load.scenario) {
        std::fprintf(stderr, "devstack: %s\n", load.error.c_str());
        return 2;
    }
    simulator::Scenario scenario = *load.scenario;
    // The cases compare every figure, in real time: a reader that wine's
    // scheduler holds back on a loaded machine finds every report still
    // waiting, as it would with a driver that kept them all.
    for (simulator::ModulePlacement& m : scenario.modules) m.params.backlog_reports = 1'000'000;

    platform::sim::SimBus bus(platform::sim::TimeMode::Real);
    std::vector<simulator::PlacedModule> modules = simulator::build_bus(bus, scenario);
    devstack::HostBench bench(bus, modules, scenario.jig_module);

    const std::wstring control_name = L"\\\\.\\pipe\\rotabench-devstack-" + std::to_wstring(GetCurrentProcessId());
    devstack::ControlPipe control(bus, control_name);
    devstack::ModulePipes ports(bus);
    SetEnvironmentVariableW(devstack::kPipeVariable, control_name.c_str());

    std::wstring command = quoted(argv[2]);
    for (int i = 3; i < argc; ++i) command += L" " + quoted(argv[i]);
    if (scenario.serial) command += L" --imu-serial " + quoted(*scenario.serial);

    devstack::ChildConsole child;
    if (!(to_console ? child.start(command, nullptr, nullptr) : child.start(command, stdout, stderr))) {
        std::fprintf(stderr, "devstack: cannot start %s (error %lu)\n", argv[2], GetLastError());
        return 2;
    }

    // The operator, at each question: the script's steps up to its next
    // line, then the line. The bench's clock runs (and its scheduled
    // unplugs and replugs happen) only while the operator waits on it.
    simulator::ScriptedOperator op(scenario.script, bench, to_console ? TextSink(nullptr) : TextSink(stdout),
                                   scenario.errors);
    if (to_console) {
        std::string line;
        for (int c = 0; (c = op.read_char()) != EOF;) {
            if (c != '\n') {
                line.push_back(static_cast<char>(c));
                continue;
            }
            child.answer(line);
            line.clear();
        }
        child.close_input();
    }
    const auto wait_for_program = [&] {
        while (!child.asking() && !child.ended()) {
            bench.sleep_until(bench.now_ns() + kPollNs);
        }
    };
    for (;;) {
        wait_for_program();
        if (!child.asking()) break;
        std::string line;
        int c = 0;
        while ((c = op.read_char()) != EOF && c != '\n') line.push_back(static_cast<char>(c));
        if (c == EOF) {
            child.close_input();
            wait_for_program();
            break;
        }
        child.answer(line);
    }
    const int code = child.finish(kProgramLimitMs);
    std::fflush(stdout);
    if (code == -1) std::fputs("devstack: the program did not end in time and was ended\n", stderr);
    report_ledger(control, stderr);
    return code;
}
