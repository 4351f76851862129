#pragma once

// Bench: what the scripted operator reaches on the bench (the clock, the jig, the cables and
// faults).

#include <cstdint>

#include "simulator/scenario/scenario.h"

namespace vesko::simulator {

// What the scripted operator reaches on the bench: the bus clock, the jig and
// the modules' cables and faults.
class Bench {
public:
    Bench() = default;
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;
    virtual ~Bench() = default;

    virtual std::int64_t now_ns() = 0;
    // Waits on the bus clock until `t_ns`, carrying out meanwhile whatever
    // the bench has scheduled (a replug, a delayed unplug).
    virtual void sleep_until(std::int64_t t_ns) = 0;
    // Starts a turn of the jig; returns the bus time when the jig is still again.
    virtual std::int64_t turn_jig(const TurnJig& turn) = 0;
    virtual void fault(const FaultStep& fault) = 0;
    // Ctrl-C at the console's keyboard.
    virtual void press_ctrl_c() = 0;
    // The exit code of the interrupt that stopped the session, 0 while none
    // did: once it is set, the operator does nothing more.
    virtual int interrupted() = 0;
};

}  // namespace vesko::simulator
