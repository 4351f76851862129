// The clock of the platform seam, as clock.h promises it, on the clocks of
// the rigs this program instantiates the suite with.

#include <atomic>
#include <cstdint>

#include "contract/platform_contract.h"

namespace vesko::contract {
namespace {

constexpr std::int64_t kMs = 1'000'000;
// However loaded the machine, a real sleep of a few milliseconds is over
// well within this.
constexpr std::int64_t kLate = 2000 * kMs;

TEST_P(ClockContract, SleepUntilReachesItsDeadline) {
    const auto rig = GetParam().make();
    platform::Clock& clock = rig->clock();
    const std::int64_t deadline = clock.now_ns() + 30 * kMs;
    clock.sleep_until(deadline);
    const std::int64_t woke = clock.now_ns();
    EXPECT_GE(woke, deadline);
    EXPECT_LT(woke, deadline + kLate);

    // A time already past: it returns, and the clock has not gone back.
    clock.sleep_until(deadline - 10 * kMs);
    EXPECT_GE(clock.now_ns(), woke);
}

TEST_P(ClockContract, NowNeverGoesBackAndMovesOnWithASleep) {
    const auto rig = GetParam().make();
    platform::Clock& clock = rig->clock();
    std::int64_t before = clock.now_ns();
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t now = clock.now_ns();
        ASSERT_GE(now, before);
        before = now;
    }
    clock.sleep_until(before + 1 * kMs);
    EXPECT_GT(clock.now_ns(), before);
}

TEST_P(ClockContract, AStartedThreadRunsAndIsJoined) {
    const auto rig = GetParam().make();
    platform::Clock& clock = rig->clock();
    const std::int64_t start = clock.now_ns();
    std::atomic<std::int64_t> ran_at{-1};
    platform::Thread thread = clock.start_thread("worker", platform::kOtherRank, [&] {
        clock.sleep_until(start + 20 * kMs);
        ran_at = clock.now_ns();
    });
    ASSERT_TRUE(thread.joinable());
    thread.join();
    EXPECT_FALSE(thread.joinable());
    // Joined means ended: the thread has slept and left its mark.
    EXPECT_GE(ran_at.load(), start + 20 * kMs);
    EXPECT_GE(clock.now_ns(), ran_at.load());
}

}  // namespace
}  // namespace vesko::contract
