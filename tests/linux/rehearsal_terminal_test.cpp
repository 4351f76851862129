// rotabench-sim --rehearse at a terminal, in real time, as an operator
// practises: a pseudo-terminal is its keyboard and screen, standard error a
// pipe of its own. One good run about X, one about Y finished with Enter in
// the middle of the turn, a quit. Each keystroke waits for what the program
// shows first; only the early Enter waits a little into the turn.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <thread>

#include "console/console_texts.h"

namespace vesko {
namespace {

constexpr const char* kScenario = ROTABENCH_SOURCE_DIR "/scenarios/rehearse-x-then-y.toml";

// The program on a pseudo-terminal (standard input and output) with its
// standard error on a pipe.
class Terminal {
public:
    Terminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        const std::string slave = ::ptsname(master_);
        int err_pipe[2];
        if (::pipe2(err_pipe, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            const int tty = ::open(slave.c_str(), O_RDWR);  // the session's terminal
            if (tty < 0) ::_exit(125);
            ::ioctl(tty, TIOCSCTTY, 0);
            ::dup2(tty, 0);
            ::dup2(tty, 1);
            ::dup2(err_pipe[1], 2);
            ::execl(ROTABENCH_SIM, ROTABENCH_SIM, "--rehearse", kScenario, static_cast<char*>(nullptr));
            ::_exit(126);
        }
        ::close(err_pipe[1]);
        err_ = err_pipe[0];
    }
    ~Terminal() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {master_, err_})
            if (fd >= 0) ::close(fd);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool started() const { return pid_ > 0 && err_ >= 0; }

    // Reads both until `text` shows on the screen (or, `on_err`, on standard
    // error) after what was seen there before; false after a minute.
    bool wait_for(std::string_view text, bool on_err = false) {
        std::string& seen = on_err ? err_text_ : screen_;
        std::size_t& from = on_err ? err_from_ : screen_from_;
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            if (const std::size_t at = seen.find(text, from); at != std::string::npos) {
                from = at + text.size();
                return true;
            }
            if (std::chrono::steady_clock::now() > give_up) return false;
            read_some(200);
        }
    }

    void type(std::string_view keys) {
        ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    // Reads to the end and returns the exit code (-1: it did not end within a minute).
    int finish() {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > give_up) return -1;
            read_some(100);
        }
        exited_ = true;
        while (read_some(0)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The screen with the terminal's line ends as the program wrote them.
    std::string screen() const {
        std::string s;
        for (std::size_t i = 0; i < screen_.size(); ++i)
            if (!(screen_[i] == '\r' && i + 1 < screen_.size() && screen_[i + 1] == '\n')) s.push_back(screen_[i]);
        return s;
    }
    const std::string& errors() const { return err_text_; }

private:
    bool read_some(int timeout_ms) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(fds, 2, timeout_ms) <= 0) return false;
        bool got = false;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) continue;
            (i == 0 ? screen_ : err_text_).append(buffer, static_cast<std::size_t>(n));
            got = true;
        }
        return got;
    }

    int master_ = -1;
    int err_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string screen_, err_text_;
    std::size_t screen_from_ = 0, err_from_ = 0;
};

// A printf format as a pattern: its text to the byte, each figure any number.
std::string pattern_of(std::string_view format) {
    std::string p;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            p += '%';
            ++i;
        } else if (c == '%') {
            while (std::string_view("cdfgsu").find(format[i]) == std::string_view::npos) ++i;
            switch (format[i]) {
                case 'c': p += "[XYZ+-]"; break;
                case 's': p += "[^\n]*"; break;
                case 'd':
                case 'u': p += "[0-9]+"; break;
                default: p += "[-+]?[0-9]+(\\.[0-9]+)?"; break;
            }
        } else {
            if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) p += '\\';
            p += c;
        }
    }
    return p;
}

// The console's texts of one run that the jig turns, the operator's echoed
// Enters between them.
std::string run_pattern(const char* angle) {
    return pattern_of(texts::kAngleQuestion) + angle + "\n" + pattern_of(texts::kBiasCapture) +
           pattern_of(texts::kBiasFigures) + pattern_of(texts::kArmQuestion) + "\n" + pattern_of(texts::kIntegrating) +
           "\n" + pattern_of(texts::kRunIntegral) + pattern_of(texts::kRunDominant) + pattern_of(texts::kRunScale);
}

double figure_after(const std::string& text, const std::string& before) {
    const std::size_t at = text.find(before);
    return at == std::string::npos ? 0.0 : std::strtod(text.c_str() + at + before.size(), nullptr);
}

TEST(Rehearsal, AnOperatorAtTheTerminalPractisesAGoodRunAndAnEarlyEnter) {
    Terminal t;
    ASSERT_TRUE(t.started());
    // Run 1, about X: Enter once the simulator says the jig is still.
    ASSERT_TRUE(t.wait_for(texts::kAngleQuestion)) << t.screen() << t.errors();
    t.type("90\n");
    ASSERT_TRUE(t.wait_for("Enter again to finish: ")) << t.screen() << t.errors();
    t.type("\n");
    ASSERT_TRUE(t.wait_for("the jig is still: finish the run with Enter", true)) << t.screen() << t.errors();
    t.type("\n");
    // Run 2, about Y: Enter 0.6 s into its turn of 1.5 s (a third of the angle turned).
    ASSERT_TRUE(t.wait_for(texts::kAngleQuestion)) << t.screen() << t.errors();
    t.type("90\n");
    ASSERT_TRUE(t.wait_for("Enter again to finish: ")) << t.screen() << t.errors();
    t.type("\n");
    ASSERT_TRUE(t.wait_for("the jig is turning +Y", true)) << t.screen() << t.errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    t.type("\n");
    ASSERT_TRUE(t.wait_for(texts::kAngleQuestion)) << t.screen() << t.errors();
    t.type("q\n");
    ASSERT_EQ(t.finish(), 0) << t.screen() << t.errors();

    const std::string screen = t.screen();
    const std::string expected =
        "# rehearsal: X, then Y, then half a turn about -Z\n\n"
        "VantisImu: 1 Gantrell device\\(s\\), 1 MCU-paired\nVantisImu: using KVR-21A7C3\n" +
        pattern_of(texts::kStreaming) + run_pattern("90") + run_pattern("90") + pattern_of(texts::kAngleQuestion) +
        "q\n" + pattern_of(texts::kSummaryHead) + pattern_of(texts::kSummaryAxis) + "\n" +
        pattern_of(texts::kSummaryAxis) + "\n" + pattern_of(texts::kSummaryNoRuns) + "\n" +
        pattern_of(texts::kSummaryGate) +
        "\n==== truth: simulated module KVR-21A7C3 on the jig ====\n"
        "X: true 0\\.000977000  estimated [^\n]*\nY: true 0\\.000981500  estimated [^\n]*\n"
        "Z: true 0\\.000974000  estimated -  \\(no runs\\)\n"
        "\n==== truth: the 2 runs armed at the rehearsal ====\n"
        "run 1: typed 90, jig \\+X 90\\.0 deg: good, error [-+]0\\.[0-9]{2}%\n"
        "run 2: typed 90, jig \\+Y 90\\.0 deg: suspect, error \\+[0-9.]+%: an Enter during the turn, [0-9.]+ s before "
        "the jig was still \\([0-9.]+ of 90\\.0 deg turned\\), which explains \\+[0-9.]+%\n";
    EXPECT_TRUE(std::regex_match(screen, std::regex(expected))) << screen;
    // The simulator's lines are its own, on standard error alone.
    EXPECT_EQ(screen.find("[rotabench-sim]"), std::string::npos);
    EXPECT_NE(t.errors().find("[rotabench-sim] run 2: the jig turns +Y by 90 deg"), std::string::npos) << t.errors();
    EXPECT_EQ(t.errors().find(texts::kAngleQuestion), std::string::npos) << t.errors();

    // The early Enter's scale is off from the truth by what the truth block
    // says, and by about what the part of the turn it missed explains.
    const std::size_t second_run = screen.find(texts::kAngleQuestion, screen.find("  scale = "));
    const double scale = figure_after(screen.substr(second_run), "  scale = ");
    const double truth = figure_after(screen, "Y: true ");
    const std::string verdict = screen.substr(screen.find("run 2: "));
    const double error_pct = figure_after(verdict, "error ");
    const double explained_pct = figure_after(verdict, "which explains ");
    EXPECT_GT(error_pct, 20.0) << verdict;
    EXPECT_NEAR((scale / truth - 1.0) * 100.0, error_pct, 0.05) << verdict;
    EXPECT_NEAR((1.0 + error_pct / 100.0) / (1.0 + explained_pct / 100.0), 1.0, 0.03) << verdict;
}

}  // namespace
}  // namespace vesko
