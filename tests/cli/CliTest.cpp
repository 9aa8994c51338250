#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/LimbReach.h"
#include "cli/ScenarioRun.h"

namespace kovra::cli {
namespace {

int RunMain(std::vector<std::string> args) {
    args.insert(args.begin(), "kovra");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return Main(static_cast<int>(argv.size()), argv.data());
}

TEST(LimbReach, EveryLimbReachesItsGridWithinTwoMillimetres) {
    const auto results = MeasureLimbReach();
    ASSERT_EQ(results.size(), 4u);
    for (const LimbReachResult& r : results) {
        EXPECT_GT(r.targets, 20) << r.limb;
        EXPECT_EQ(r.reached, r.targets) << r.limb;
        EXPECT_LE(r.maxError, 0.002f) << r.limb;
    }
}

TEST(Cli, CommandsWriteTheirReportsAndRejectBadUsage) {
    const auto dir = std::filesystem::temp_directory_path() / "kovra-cli-test";
    std::filesystem::remove_all(dir);
    EXPECT_EQ(RunMain({"run", "--out", dir.string(), "--quiet", "--no-pictures"}), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "report.json"));
    const std::string ride = (DefaultScenarioFile().parent_path() / "motorbike.scenario").string();
    EXPECT_EQ(RunMain({"run", "--scenario", ride, "--out", dir.string(), "--quiet", "--no-pictures"}), 0);
    EXPECT_EQ(RunMain({"reach", "--out", dir.string()}), 0);
    std::stringstream text;
    text << std::ifstream(dir / "limbs.json").rdbuf();  // closed again: Windows removes no open file
    EXPECT_NE(text.str().find("\"limb\": \"left foot\""), std::string::npos);
    std::filesystem::remove_all(dir);

    EXPECT_EQ(RunMain({"run", "--bogus"}), 2);
    EXPECT_EQ(RunMain({"run", "--scenario", "/nonexistent.scenario", "--quiet"}), 2);
    EXPECT_EQ(RunMain({"run", "--game", "/nonexistent-game", "--out", dir.string(), "--quiet"}), 2);
    EXPECT_EQ(RunMain({"reach", "--bogus"}), 2);
    EXPECT_EQ(RunMain({"fly"}), 2);
    EXPECT_EQ(RunMain({}), 2);
    EXPECT_EQ(RunMain({"run", "--help"}), 0);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kovra::cli
