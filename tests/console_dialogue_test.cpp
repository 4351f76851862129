// Whole-dialogue transcripts of the calibration console, byte for byte, with
// the real stream reader on a simulated bus; the command line and the start
// against a fake reader that tells what it was asked.
#include <gtest/gtest.h>

#include "console/console_input.h"
#include "support/console_harness.h"

namespace vesko::test {
namespace {

const std::string kPrompt = "rotation angle in degrees for this run (90/180/360, q=quit): ";
const std::string kHold = "  hold STILL against the jig \xE2\x80\x94 2 s bias capture...";
const std::string kStillBias = " bias [12.00 -7.00 3.00] LSB  noise sd [0.0 0.0 0.0] (2000 samples)\n";
const std::string kIntegrating = "  ...integrating, finish with Enter: ";
const std::string kStreaming = "IMU streaming from KVR-TEST01\n\n";

std::string arm(const std::string& angle) {
    return "  press Enter to ARM, rotate exactly " + angle +
           " deg (settle ~1 s still before/after), Enter again to finish: ";
}

// One scripted run: the angle, an Enter to arm, and the rotation delivered
// while the operator turns the jig, then Enter to finish.
void script_run(ConsoleHarness& h, const std::string& angle, std::size_t samples, std::array<int, 3> rate,
                std::uint32_t dt_ticks = 48000) {
    h.type(angle);
    h.type("");
    h.type("", [&h, samples, rate, dt_ticks] { h.deliver(h.samples(samples, rate, dt_ticks)); });
}

TEST(ConsoleDialogue, GoodRunsOnEveryAxisThenSummary) {
    ConsoleHarness h;
    script_run(h, "90", 1001, {1600, 16, -8});
    script_run(h, "180", 1001, {5, -3200, 48});
    script_run(h, "360", 1001, {-20, 30, 6400});
    script_run(h, "90", 1001, {1500, 0, 0});
    h.type("q");

    EXPECT_EQ(h.run(), 0);
    const std::string expected = h.start_banner() + kStreaming + kPrompt + kHold + kStillBias + arm("90") +
                                 kIntegrating +
                                 "  integral [1600.0 16.0 -8.0] LSB*s  (1000 samples, max dt 0.0010 s)\n"
                                 "  dominant axis X (sign +)  off-axis leakage 1.0%\n"
                                 "  scale = 0.000981748 rad/s/LSB   vs 1/1024: +0.53%   vs 0.001: -1.83%\n\n" +
                                 kPrompt + kHold + kStillBias + arm("180") + kIntegrating +
                                 "  integral [5.0 -3200.0 48.0] LSB*s  (1000 samples, max dt 0.0010 s)\n"
                                 "  dominant axis Y (sign -)  off-axis leakage 1.5%\n"
                                 "  scale = 0.000981748 rad/s/LSB   vs 1/1024: +0.53%   vs 0.001: -1.83%\n\n" +
                                 kPrompt + kHold + kStillBias + arm("360") + kIntegrating +
                                 "  integral [-20.0 30.0 6400.0] LSB*s  (1000 samples, max dt 0.0010 s)\n"
                                 "  dominant axis Z (sign +)  off-axis leakage 0.5%\n"
                                 "  scale = 0.000981748 rad/s/LSB   vs 1/1024: +0.53%   vs 0.001: -1.83%\n\n" +
                                 kPrompt + kHold + kStillBias + arm("90") + kIntegrating +
                                 "  integral [1500.0 0.0 0.0] LSB*s  (1000 samples, max dt 0.0010 s)\n"
                                 "  dominant axis X (sign +)  off-axis leakage 0.0%\n"
                                 "  scale = 0.001047198 rad/s/LSB   vs 1/1024: +7.23%   vs 0.001: +4.72%\n\n" +
                                 kPrompt +
                                 "\n==== summary (4 runs) ====\n"
                                 "X: 2 runs  mean 0.001014473  spread 6.45%  vs 1/1024 +3.88%  vs 0.001 +1.45%\n"
                                 "Y: 1 runs  mean 0.000981748  spread 0.00%  vs 1/1024 +0.53%  vs 0.001 -1.83%\n"
                                 "Z: 1 runs  mean 0.000981748  spread 0.00%  vs 1/1024 +0.53%  vs 0.001 -1.83%\n"
                                 "gate: per-axis mean must sit within ~2% of one consistent value on all three axes\n";
    EXPECT_EQ(h.out(), expected);
    EXPECT_EQ(h.err(), "");
}

TEST(ConsoleDialogue, InvalidRunsAreReportedAndNotRecorded) {
    ConsoleHarness h;
    // A gap of 0.5 s plus one tick inside an otherwise good rotation.
    h.type("90");
    h.type("");
    h.type("", [&h] {
        h.deliver(h.samples(600, {1600, 0, 0}));
        h.deliver(h.samples(1, {1600, 0, 0}, 24'000'001));
        h.deliver(h.samples(600, {1600, 0, 0}));
    });
    // No rotation: plenty of samples, a small integral.
    script_run(h, "180", 1001, {50, -99, 0});
    // Too few intervals, however large the integral: 499.
    script_run(h, "90", 500, {30000, 0, 0});
    // "q" at the arming and finishing questions only arms and finishes.
    h.type("45");
    h.type("q");
    h.type("q");
    h.type("q");

    EXPECT_EQ(h.run(), 0);
    const std::string expected =
        h.start_banner() + kStreaming + kPrompt + kHold + kStillBias + arm("90") + kIntegrating +
        "  RUN INVALID: stream gap > 0.5 s during integration (max dt 0.500 s)\n" + kPrompt + kHold + kStillBias +
        arm("180") + kIntegrating +
        "  RUN INVALID: no rotation detected (1000 samples, dominant integral -99.0 LSB*s)\n\n" + kPrompt + kHold +
        kStillBias + arm("90") + kIntegrating +
        "  RUN INVALID: no rotation detected (499 samples, dominant integral 14970.0 LSB*s)\n\n" + kPrompt + kHold +
        kStillBias + arm("45") + kIntegrating +
        "  RUN INVALID: no rotation detected (0 samples, dominant integral 0.0 LSB*s)\n\n" + kPrompt;
    EXPECT_EQ(h.out(), expected);  // no summary: nothing was recorded
}

TEST(ConsoleDialogue, StarvedBiasWindowAbortsTheRun) {
    ConsoleHarness h;
    h.bias_samples = 999;
    h.type("90");
    h.type("q");
    EXPECT_EQ(h.run(), 0);
    EXPECT_EQ(h.out(), h.start_banner() + kStreaming + kPrompt + kHold +
                           " only 999 samples \xE2\x80\x94 stream unhealthy, run aborted\n" + kPrompt);
}

TEST(ConsoleDialogue, ThousandBiasSamplesAreEnough) {
    ConsoleHarness h;
    h.bias_samples = 1000;
    h.type("90");
    h.type("");
    h.type("");
    EXPECT_EQ(h.run(), 0);
    EXPECT_NE(h.out().find(" bias [12.00 -7.00 3.00] LSB  noise sd [0.0 0.0 0.0] (1000 samples)\n"), std::string::npos);
}

TEST(ConsoleDialogue, BadAnglesAndWhatStartsARun) {
    ConsoleHarness h;
    h.bias_samples = 0;  // every accepted angle ends at the bias check
    for (const char* line :
         {"q ", " q", "quit", "QQ", "", "0", "-90", "abc", "nan", "inf", "1e999", "-inf", "1e308", "1e-320"}) {
        h.type(line);
    }
    for (const char* line : {"45", "720", "90.5", "1e2", "90deg"}) h.type(line);
    h.type("Q");
    EXPECT_EQ(h.run(), 0);

    const std::string bad = kPrompt + "  bad angle\n";
    const std::string starved = kPrompt + kHold + " only 0 samples \xE2\x80\x94 stream unhealthy, run aborted\n";
    std::string expected = h.start_banner() + kStreaming;
    for (int i = 0; i < 14; ++i) expected += bad;
    for (int i = 0; i < 5; ++i) expected += starved;
    expected += kPrompt;
    EXPECT_EQ(h.out(), expected);
}

TEST(ConsoleDialogue, AnglesPrintInShortestForm) {
    ConsoleHarness h;
    h.type("90.5");
    h.type("");
    h.type("");
    h.type("1e2");
    h.type("");
    h.type("");
    h.type("90deg");
    h.type("");
    h.type("");
    h.type("q");
    EXPECT_EQ(h.run(), 0);
    EXPECT_NE(h.out().find(arm("90.5")), std::string::npos);
    EXPECT_NE(h.out().find(arm("100")), std::string::npos);
    EXPECT_NE(h.out().find(arm("90")), std::string::npos);  // the numeric prefix of "90deg"
}

TEST(ConsoleDialogue, SamplesWhileTheArmingQuestionWaitsAreNotIntegrated) {
    ConsoleHarness h;
    h.type("90");
    // The operator turns the jig before pressing Enter to arm; the run only
    // starts counting after that Enter, and nothing comes afterwards.
    h.type("", [&h] { h.deliver(h.samples(1001, {1600, 0, 0})); });
    h.type("");
    h.type("q");
    EXPECT_EQ(h.run(), 0);
    EXPECT_EQ(h.out(), h.start_banner() + kStreaming + kPrompt + kHold + kStillBias + arm("90") + kIntegrating +
                           "  RUN INVALID: no rotation detected (0 samples, dominant integral 0.0 LSB*s)\n\n" +
                           kPrompt);
}

TEST(ConsoleDialogue, EndOfInputQuitsAtTheAngleQuestion) {
    ConsoleHarness h;
    script_run(h, "90", 1001, {1600, 16, -8});
    // No "q": the input simply ends.
    EXPECT_EQ(h.run(), 0);
    EXPECT_NE(h.out().find("==== summary (1 runs) ====\n"), std::string::npos);
    EXPECT_EQ(h.reads_at_eof(), 1);  // ended at once, no spinning on the closed input
}

TEST(ConsoleDialogue, EndOfInputWithoutRunsPrintsNoSummary) {
    ConsoleHarness h;
    EXPECT_EQ(h.run(), 0);
    EXPECT_EQ(h.out(), h.start_banner() + kStreaming + kPrompt);
}

TEST(ConsoleDialogue, EndOfInputMidRunCountsAsEmptyLines) {
    ConsoleHarness h;
    h.type("90", {}, /*newline=*/false);  // last line without its newline, then the end
    EXPECT_EQ(h.run(), 0);
    EXPECT_EQ(h.out(), h.start_banner() + kStreaming + kPrompt + kHold + kStillBias + arm("90") + kIntegrating +
                           "  RUN INVALID: no rotation detected (0 samples, dominant integral 0.0 LSB*s)\n\n" +
                           kPrompt);
    EXPECT_EQ(h.reads_at_eof(), 4);  // the angle line, arming, finishing, then the quit
}

// Ctrl-C cuts the sleep it comes in short and stops the session as a quit
// would: the summary of the runs accepted before it, nothing said about the
// wait it broke off, and the interrupt's exit code.
TEST(ConsoleDialogue, InterruptStopsTheSessionAsAQuitWould) {
    ConsoleHarness during_bias;
    script_run(during_bias, "90", 1000, {1608, 0, 0});
    during_bias.type("180");
    during_bias.interrupt_at_sleep = 3;  // the first poll, the first run's bias, then the second's
    EXPECT_EQ(during_bias.run(), 130);
    const std::string out = during_bias.out();
    EXPECT_TRUE(
        out.ends_with(kPrompt + kHold + "\n==== summary (1 runs) ====\n" +
                      "X: 1 runs  mean 0.000977841  spread 0.00%  vs 1/1024 +0.13%  vs 0.001 -2.22%\n"
                      "Y: NO RUNS \xE2\x80\x94 gate requires all axes\nZ: NO RUNS \xE2\x80\x94 gate requires all axes\n"
                      "gate: per-axis mean must sit within ~2% of one consistent value on all three axes\n"))
        << out;
    EXPECT_EQ(during_bias.err(), "");

    ConsoleHarness before_samples(ConsoleHarness::Source::Fake);
    before_samples.stream_alive = false;
    before_samples.interrupt_at_sleep = 3;
    EXPECT_EQ(before_samples.run(), 130);
    EXPECT_EQ(before_samples.sleeps().size(), 3u);
    EXPECT_EQ(before_samples.out() + before_samples.err(), "");  // not "no IMU samples"
    EXPECT_TRUE(before_samples.reader_log().stopped_before_destruction);

    // The rule behind it: the first interrupt stops the session, a closed
    // window is held until the summary is out, a second one ends at once.
    using platform::InterruptAction;
    using platform::InterruptKind;
    EXPECT_EQ(interrupt_action(InterruptKind::Interrupt, 0), InterruptAction::StopSession);
    EXPECT_EQ(interrupt_action(InterruptKind::Terminate, 0), InterruptAction::StopSession);
    EXPECT_EQ(interrupt_action(InterruptKind::CloseWindow, 0), InterruptAction::HoldUntilStopped);
    EXPECT_EQ(interrupt_action(InterruptKind::Interrupt, 1), InterruptAction::EndNow);
    EXPECT_EQ(interrupt_action(InterruptKind::CloseWindow, 1), InterruptAction::EndNow);
}

TEST(ConsoleDialogue, DeviceClockWrapInsideARun) {
    ConsoleHarness h;
    h.next_timestamp = 0xFFFFFFFFu - 48000u * 300u;  // wraps 300 samples in
    script_run(h, "90", 1001, {1600, 0, 0});
    EXPECT_EQ(h.run(), 0);
    EXPECT_NE(h.out().find("  integral [1600.0 0.0 0.0] LSB*s  (1000 samples, max dt 0.0010 s)\n"), std::string::npos);
}

TEST(ConsoleCommandLine, UsageAndNoDeviceAccessOnBadArguments) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{{"--help"},
                                                                               {"-h"},
                                                                               {"word"},
                                                                               {"--imu-serial"},
                                                                               {"--imu-serial", "A", "--imu-serial"},
                                                                               {"--IMU-SERIAL", "A"}}) {
        ConsoleHarness h(ConsoleHarness::Source::Fake);
        EXPECT_EQ(h.run(args), 2);
        EXPECT_EQ(h.err(), "usage: rotabench [--imu-serial KVR-...]\n");
        EXPECT_EQ(h.out(), "");
        EXPECT_TRUE(h.reader_log().serials.empty());  // no reader was even made
    }
}

TEST(ConsoleCommandLine, SerialIsPassedAsGivenAndTheLastWins) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, ""},
        {{"--imu-serial", "KVR-0042"}, "KVR-0042"},
        {{"--imu-serial", ""}, ""},
        {{"--imu-serial", "--imu-serial"}, "--imu-serial"},
        {{"--imu-serial", "A", "--imu-serial", "B"}, "B"},
    };
    for (const auto& [args, serial] : cases) {
        ConsoleHarness h(ConsoleHarness::Source::Fake);
        h.type("q");
        EXPECT_EQ(h.run(args), 0);
        ASSERT_EQ(h.reader_log().serials.size(), 1u);
        EXPECT_EQ(h.reader_log().serials[0], serial);
        EXPECT_TRUE(h.reader_log().stopped_before_destruction);
    }
}

TEST(ConsoleStartUp, NoModuleExitsOneWithTheReadersMessageOnly) {
    ConsoleHarness h(ConsoleHarness::Source::Fake);
    h.reader_options.start_ok = false;
    EXPECT_EQ(h.run(), 1);
    EXPECT_EQ(h.out(), "");
    EXPECT_EQ(h.err(), "VantisImu: no matching 28DE:2300 MI_00 device (Telvar unplugged? wrong --imu-serial?)\n");
    EXPECT_TRUE(h.reader_log().stopped_before_destruction);
}

TEST(ConsoleStartUp, SilentStreamGivesUpAfterFiftyPolls) {
    ConsoleHarness h(ConsoleHarness::Source::Fake);
    h.stream_alive = false;
    EXPECT_EQ(h.run(), 1);
    EXPECT_EQ(h.err(), "no IMU samples after 5 s\n");
    EXPECT_EQ(h.out(), "");
    ASSERT_EQ(h.sleeps().size(), 50u);
    for (auto d : h.sleeps()) EXPECT_EQ(d, std::chrono::milliseconds(100));
    EXPECT_TRUE(h.reader_log().stopped_before_destruction);
}

TEST(ConsoleStartUp, FirstSampleEndsThePollingAtOnce) {
    ConsoleHarness h(ConsoleHarness::Source::Fake);
    h.type("q");
    EXPECT_EQ(h.run(), 0);
    // One poll found nothing, its sleep brought the first sample.
    ASSERT_EQ(h.sleeps().size(), 1u);
    EXPECT_EQ(h.out(), h.start_banner() + kStreaming + kPrompt);
}

}  // namespace
}  // namespace vesko::test
