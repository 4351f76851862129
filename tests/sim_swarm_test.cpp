// The swarm's own path from a finding to the file that replays it: the
// swarm in CI reports nothing, so nothing else walks it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "simulator/scenario/default_scenario.h"
#include "swarm/swarm.h"

namespace vesko::swarm {
namespace {

// A fault the console cannot see: the module's clock leaps 0.3 s in the
// middle of the first turn (bias 2 s, settle 0.3 s, the turn from 2.3 s),
// so the run integrates 0.3 s more of the turn's fastest rate than it took.
TEST(Swarm, APlantedFindingIsReportedWithAScenarioFileThatReplaysIt) {
    std::string toml(simulator::default_scenario_text());
    toml = toml.substr(0, toml.find("[expect]"));
    const std::string leap = "[[script]]\nfault = \"clock_leap\"\nseconds = 0.3\ndelay = 2.8\n\n";
    toml.insert(toml.find("[[script]]"), leap);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "rotabench-swarm-test";
    std::filesystem::remove_all(dir);

    const SessionVerdict v = run_one(toml, 7, 1, dir.string(), true);
    ASSERT_FALSE(v.findings.empty());
    EXPECT_NE(v.findings.front().what.find("run 1 (X, 180 typed) accepted with its scale"), std::string::npos)
        << v.findings.front().what;
    EXPECT_EQ(v.findings.front().file, (dir / "swarm-7.toml").string());
    EXPECT_TRUE(std::filesystem::exists(dir / "swarm-7.toml"));
    EXPECT_TRUE(v.findings.front().replays);
    EXPECT_EQ(v.judgement.accepted, 6);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vesko::swarm
