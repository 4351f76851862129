// The scripted operator, the transcript it writes into, and the pacing of
// virtual time.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "simulator/session/scripted_operator.h"
#include "support/captured_stream.h"

namespace vesko::simulator {
namespace {

constexpr std::int64_t kMs = 1'000'000;

// A bench on a clock that moves only when the operator waits.
class FakeBench final : public Bench {
public:
    std::int64_t now = 0;
    std::vector<std::string> log;

    std::int64_t now_ns() override { return now; }
    void sleep_until(std::int64_t t) override {
        if (t > now) now = t;
        log.push_back("sleep to " + std::to_string(now / kMs));
    }
    std::int64_t turn_jig(const TurnJig& turn) override {
        log.push_back("turn " + std::to_string(turn.axis) + " by " + std::to_string(static_cast<int>(turn.degrees)) +
                      " at " + std::to_string(now / kMs));
        return now + static_cast<std::int64_t>(turn.seconds * 1000) * kMs;
    }
    void fault(const FaultStep& f) override {
        log.push_back("fault on '" + f.module + "' at " + std::to_string(now / kMs));
    }
    void press_ctrl_c() override {
        log.push_back("ctrl-c at " + std::to_string(now / kMs));
        stopped = 130;
    }
    int interrupted() override { return stopped; }
    int stopped = 0;
};

std::string read_line(ScriptedOperator& op) {
    std::string line;
    for (int c = op.read_char(); c != '\n'; c = op.read_char()) {
        if (c == EOF) return line + "<EOF>";
        line.push_back(static_cast<char>(c));
    }
    return line;
}

TEST(SimOperator, TypesEachLineAfterItsStepsEchoesItAndThenEndsTheInput) {
    FakeBench bench;
    test::CapturedStream echo;
    ScriptedOperator op({TypeLine{"90"}, TypeLine{""}, Wait{0.3}, TurnJig{1, 90.0, 1.0}, Wait{0.3},
                         FaultStep{"KVR-1", 0.0, Unplug{2.0}}, TypeLine{"\xFF\xC3\xA9 q"}},
                        bench, echo.get());
    EXPECT_EQ(read_line(op), "90");
    EXPECT_TRUE(bench.log.empty());
    EXPECT_EQ(read_line(op), "");
    EXPECT_EQ(read_line(op), "\xFF\xC3\xA9 q");  // bytes pass as unsigned values: 0xFF is no EOF
    const std::vector<std::string> expected = {"sleep to 300", "turn 1 by 90 at 300", "sleep to 1300", "sleep to 1600",
                                               "fault on 'KVR-1' at 1600"};
    EXPECT_EQ(bench.log, expected);
    EXPECT_EQ(op.read_char(), EOF);
    EXPECT_EQ(op.read_char(), EOF);
    EXPECT_EQ(echo.text(), "90\n\n\xFF\xC3\xA9 q\n");
}

TEST(SimOperator, AnEmptyScriptIsAClosedInput) {
    FakeBench bench;
    test::CapturedStream echo;
    ScriptedOperator op({}, bench, echo.get());
    EXPECT_EQ(op.read_char(), EOF);
    EXPECT_EQ(echo.text(), "");
}

// A session's transcript reaches the terminal as it is written, a question
// without its line end included, and is kept whole.
TEST(SimTranscript, CopiesEachPieceAsWrittenAndKeepsTheWhole) {
    test::CapturedStream terminal;
    TextBuffer t(terminal.get());
    const TextSink console(t);
    console.write("question: ");
    EXPECT_EQ(terminal.text(), "question: ");
    console.print("%s\nmore", "answer");
    EXPECT_EQ(terminal.text(), "question: answer\nmore");
    EXPECT_EQ(t.text(), "question: answer\nmore");
}

}  // namespace
}  // namespace vesko::simulator
