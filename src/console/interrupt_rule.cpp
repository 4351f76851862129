#include "console/interrupt_rule.h"

namespace vesko {

platform::InterruptAction interrupt_action(platform::InterruptKind kind, unsigned earlier) {
    if (earlier > 0) return platform::InterruptAction::EndNow;
    return kind == platform::InterruptKind::CloseWindow ? platform::InterruptAction::HoldUntilStopped
                                                        : platform::InterruptAction::StopSession;
}

}  // namespace vesko
