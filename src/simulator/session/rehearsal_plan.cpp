#include "simulator/session/rehearsal_plan.h"

#include <cmath>

namespace vesko::simulator {

RehearsalTurn planned_turn(const std::vector<RehearsalTurn>& plan, std::size_t run) {
    if (!plan.empty()) return plan[run % plan.size()];
    RehearsalTurn turn;
    turn.axis = static_cast<int>(run / 2 % 3);
    turn.reverse = run % 2 == 1;
    return turn;
}

double planned_degrees(const RehearsalTurn& turn, double typed_degrees) {
    const double degrees = turn.degrees.value_or(typed_degrees);
    return turn.reverse ? -degrees : degrees;
}

double hand_turn_seconds(double degrees) { return 0.9 + std::fabs(degrees) / 150.0; }

const char* turn_name(const RehearsalTurn& turn) {
    static const char* const names[2][3] = {{"+X", "+Y", "+Z"}, {"-X", "-Y", "-Z"}};
    return names[turn.reverse ? 1 : 0][turn.axis];
}

}  // namespace vesko::simulator
