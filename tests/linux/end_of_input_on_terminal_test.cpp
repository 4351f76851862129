// Ctrl-D at a terminal, end to end: the program reads its answers from a
// pseudo-terminal in canonical mode on standard input, through the watch that
// the shipped program reads with, while the module streams over this
// backend. End of input sticks, as getchar's does: Ctrl-D at the arming
// question arms the run, finishes it at once and ends the dialogue.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "bench_tree.h"
#include "console/console_input.h"
#include "console/console_texts.h"
#include "console/program.h"
#include "platform/interrupts.h"
#include "platform/linux/linux_platform.h"
#include "report_node.h"
#include "support/captured_stream.h"
#include "support/report_bytes.h"

namespace vesko::platform::linux_hid {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A pseudo-terminal whose slave is this process's standard input while it lives.
class TerminalInput {
public:
    TerminalInput() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        const char* name =
            master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 ? ::ptsname(master_) : nullptr;
        const int slave = name ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
        saved_ = slave >= 0 ? ::dup(0) : -1;
        ok_ = saved_ >= 0 && ::dup2(slave, 0) == 0;
        if (slave >= 0) ::close(slave);
    }
    ~TerminalInput() {
        if (saved_ >= 0) {
            ::dup2(saved_, 0);
            ::close(saved_);
        }
        if (master_ >= 0) ::close(master_);
    }
    bool ok() const { return ok_; }
    // Keys typed at the terminal; in canonical mode 0x04 is Ctrl-D (VEOF).
    void type(const std::string& keys) const {
        [[maybe_unused]] const auto n = ::write(master_, keys.data(), keys.size());
    }

private:
    int master_ = -1;
    int saved_ = -1;
    bool ok_ = false;
};

TEST(EndOfInputOnTerminal, CtrlDAtTheArmingQuestionEndsTheDialogueAndTheProgramPromptly) {
    testing::BenchTree bench;
    testing::ReportNode node{bench.fake.dev() / "hidraw0"};
    TerminalInput terminal;
    if (!node.ok() || !terminal.ok()) GTEST_SKIP() << "no socket pair or pseudo-terminal on this machine";
    LinuxPlatform platform{bench.fake.sys(), bench.fake.dev(), node.opener()};

    InterruptWatch watch(interrupt_action);
    ConsoleIo io = standard_console_io(watch);
    test::CapturedStream out;
    test::CapturedStream err;
    io.streams = OutputStreams{out.get(), err.get()};
    // The console's sleeps pass at once, each with its stretch of the
    // module's stream (1000 samples a second, three to a report) read.
    std::uint8_t seq = 0;
    std::uint32_t ticks = 0;
    io.sleep = [&](milliseconds d) {
        for (long long i = 0; i < d.count() / 3; ++i, seq = static_cast<std::uint8_t>(seq + 3), ticks += 3 * 48000) {
            node.send(test::imu_report(seq, ticks));
        }
        node.drained_within(milliseconds(2000));
        std::this_thread::sleep_for(milliseconds(20));  // the last report through the callback
    };

    terminal.type("90\n\x04");
    // Should the end not stick, the finishing question waits: answer it, and
    // quit, after a while.
    std::mutex mutex;
    std::condition_variable finished_cv;
    bool finished = false;
    std::atomic<bool> answered_late{false};
    std::thread late_operator([&] {
        std::unique_lock lock(mutex);
        if (!finished_cv.wait_for(lock, milliseconds(3000), [&] { return finished; })) {
            answered_late = true;
            terminal.type("\nq\n");
        }
    });

    const char* argv[] = {"rotabench"};
    const auto start = Clock::now();
    const int code = run_program(1, argv, live_reader(platform, platform::monotonic_clock(), io.streams), io).exit_code;
    const auto took = Clock::now() - start;
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    finished_cv.notify_one();
    late_operator.join();

    EXPECT_FALSE(answered_late) << "the finishing question waited after Ctrl-D";
    EXPECT_LT(took, milliseconds(2000));
    EXPECT_EQ(code, 0);
    const std::string text = out.text();
    const std::string arm_question = "  press Enter to ARM, rotate exactly 90 deg";
    const auto armed = text.find(arm_question);
    ASSERT_NE(armed, std::string::npos) << text;
    // Armed by the end of input, finished by it, and asked for no other angle.
    EXPECT_NE(text.find(texts::kIntegrating, armed), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - std::string(texts::kAngleQuestion).size()), texts::kAngleQuestion) << text;
    EXPECT_EQ(text.find("summary"), std::string::npos) << text;
    EXPECT_EQ(err.text(), "");
}

}  // namespace
}  // namespace vesko::platform::linux_hid
