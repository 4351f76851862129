#pragma once

// ScriptedOperator: the scenario's operator at the console, as a getchar for it.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "simulator/model/gaussian_noise.h"
#include "simulator/scenario/scenario.h"
#include "simulator/session/bench.h"
#include "text/streams.h"

namespace vesko::simulator {

// The operator at the console, as a getchar for it. When the console starts
// reading a line (it has just printed and flushed its question), the operator
// carries out its next steps (waits, turns of the jig, faults) up to the next
// line to type, echoes that line to `echo` as a terminal would show it, and
// then hands the console its characters and a newline one call at a time.
// After the last step it answers EOF. Runs on the console's thread.
class ScriptedOperator {
public:
    ScriptedOperator(std::vector<OperatorStep> script, Bench& bench, TextSink echo, const OperatorErrors& errors = {});
    ScriptedOperator(const ScriptedOperator&) = delete;
    ScriptedOperator& operator=(const ScriptedOperator&) = delete;

    int read_char();

private:
    bool begin_line();

    const std::vector<OperatorStep> script_;
    const OperatorErrors errors_;
    GaussianNoise draws_;
    std::size_t next_step_ = 0;
    Bench& bench_;
    TextSink echo_;
    std::string line_;
    std::size_t pos_ = 0;
    bool typing_ = false;
};

}  // namespace vesko::simulator
