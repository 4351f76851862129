#include "simulator/scripted_operator.h"

#include <cmath>
#include <type_traits>
#include <utility>

namespace vesko::simulator {

ScriptedOperator::ScriptedOperator(std::vector<OperatorStep> script, Bench& bench, std::FILE* echo)
    : script_(std::move(script)), bench_(bench), echo_(echo) {}

bool ScriptedOperator::begin_line() {
    while (next_step_ < script_.size()) {
        const OperatorStep& step = script_[next_step_++];
        if (const auto* line = std::get_if<TypeLine>(&step)) {
            line_ = line->text;
            pos_ = 0;
            typing_ = true;
            ++lines_typed_;
            std::fprintf(echo_, "%s\n", line_.c_str());
            std::fflush(echo_);
            return true;
        }
        std::visit(
            [this](const auto& s) {
                using S = std::decay_t<decltype(s)>;
                if constexpr (std::is_same_v<S, Wait>) {
                    bench_.sleep_until(bench_.now_ns() + std::llround(s.seconds * 1e9));
                } else if constexpr (std::is_same_v<S, TurnJig>) {
                    bench_.sleep_until(bench_.turn_jig(s));
                } else if constexpr (std::is_same_v<S, FaultStep>) {
                    bench_.fault(s);
                }
            },
            step);
    }
    return false;
}

int ScriptedOperator::read_char() {
    if (!typing_ && !begin_line()) return EOF;
    if (pos_ < line_.size()) return static_cast<unsigned char>(line_[pos_++]);
    typing_ = false;
    return '\n';
}

}  // namespace vesko::simulator
