#include "simulator/session/scripted_operator.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>

namespace vesko::simulator {

ScriptedOperator::ScriptedOperator(std::vector<OperatorStep> script, Bench& bench, TextSink echo,
                                   const OperatorErrors& errors)
    : script_(std::move(script)), errors_(errors), draws_(errors.seed), bench_(bench), echo_(echo) {}

bool ScriptedOperator::begin_line() {
    while (next_step_ < script_.size() && bench_.interrupted() == 0) {
        const OperatorStep& step = script_[next_step_++];
        if (const auto* line = std::get_if<TypeLine>(&step)) {
            line_ = line->text;
            pos_ = 0;
            typing_ = true;
            echo_.print("%s\n", line_.c_str());
            echo_.flush();
            return true;
        }
        std::visit(
            [this](const auto& s) {
                using S = std::decay_t<decltype(s)>;
                if constexpr (std::is_same_v<S, Wait>) {
                    double seconds = s.seconds;
                    if (s.settle && errors_.settle_jitter > 0) {
                        seconds = std::max(0.0, seconds + errors_.settle_jitter * draws_.next());
                    }
                    bench_.sleep_until(bench_.now_ns() + std::llround(seconds * 1e9));
                } else if constexpr (std::is_same_v<S, TurnJig>) {
                    // The jig turns a little more or less than the operator meant.
                    TurnJig turn = s;
                    if (errors_.turn_error != 0 || errors_.turn_error_sd > 0) {
                        const double error = errors_.turn_error + errors_.turn_error_sd * draws_.next();
                        turn.degrees += turn.degrees < 0 ? -error : error;
                    }
                    const std::int64_t still_at = bench_.turn_jig(turn);
                    // With a jittery operator, the stillness after a run's turn
                    // may come out below zero: Enter is pressed before the jig
                    // is still, and that stillness is not waited again.
                    if (errors_.settle_jitter > 0 && next_step_ < script_.size()) {
                        const auto* after = std::get_if<Wait>(&script_[next_step_]);
                        if (after != nullptr && after->settle) {
                            ++next_step_;
                            const double seconds = after->seconds + errors_.settle_jitter * draws_.next();
                            bench_.sleep_until(
                                std::max<std::int64_t>(bench_.now_ns(), still_at + std::llround(seconds * 1e9)));
                            return;
                        }
                    }
                    bench_.sleep_until(still_at);
                } else if constexpr (std::is_same_v<S, FaultStep>) {
                    bench_.fault(s);
                } else if constexpr (std::is_same_v<S, PressCtrlC>) {
                    echo_.write("^C");  // as a terminal shows it
                    echo_.flush();
                    bench_.press_ctrl_c();
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
