#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>

#include "cli/MotionLimits.h"
#include "cli/ScenarioRun.h"
#include "sim/SceneFile.h"

namespace kovra::cli {
namespace {

namespace fs = std::filesystem;

struct MotionCase {
    const char* scenario;
    test::MotionLimits limits;
};

void PrintTo(const MotionCase& c, std::ostream* out) { *out << c.scenario; }

// Plays a scenario without pictures; the menu load needs the sedan's file in
// the game's mod folder.
std::optional<RunReport> Play(const std::string& scenario) {
    std::string name = scenario;
    for (char& c : name) {
        if (c == '/') c = '-';
    }
    const fs::path out = fs::temp_directory_path() / ("kovra-motion-" + name);
    fs::remove_all(out);
    RunOptions options;
    options.scenarioFile = sim::BuiltInScenesDirectory() / scenario;
    options.outDir = out;
    options.pictures = false;
    if (scenario == "stress/menu-load-while-driving.scenario") {
        options.gameDir = out / "game";
        fs::create_directories(options.gameDir / "modloader");
        fs::copy_file(sim::BuiltInScenesDirectory() / "patterns" / "sedan-vw.ini",
                      options.gameDir / "modloader" / "sedan-vw.ini");
    }
    std::string error;
    auto report = RunScenario(options, &error);
    EXPECT_TRUE(report) << error;
    fs::remove_all(out);
    return report;
}

class MotionLimitsTest : public testing::TestWithParam<MotionCase> {};

TEST_P(MotionLimitsTest, NoPopNoFlipNoSlide) {
    const MotionCase& c = GetParam();
    const auto report = Play(c.scenario);
    ASSERT_TRUE(report);
    EXPECT_TRUE(EveryLimbReached(*report));
    for (const VehicleReport& v : report->vehicles) {
        for (const std::string& fault : test::MotionFaults(v.motion, c.limits)) {
            ADD_FAILURE() << c.scenario << ", " << v.model << ": " << fault;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, MotionLimitsTest,
    testing::Values(MotionCase{"default-car.scenario", {}}, MotionCase{"lock-to-lock.scenario", {}},
                    MotionCase{"menu.scenario", {}}, MotionCase{"motorbike.scenario", {}},
                    MotionCase{"bicycle.scenario", {}}, MotionCase{"patterns/auto.scenario", {}},
                    MotionCase{"patterns/bmw.scenario", {}}, MotionCase{"patterns/chev.scenario", {}},
                    MotionCase{"patterns/sequential.scenario", {}}, MotionCase{"patterns/vw.scenario", {}},
                    MotionCase{"stress/gear-at-full-lock.scenario", {}},
                    MotionCase{"stress/handbrake-steering.scenario", {}},
                    MotionCase{"stress/bike-lean.scenario", {}},
                    MotionCase{"stress/bike-jump.scenario", {}},
                    MotionCase{"stress/menu-load-while-driving.scenario", {}},
                    MotionCase{"stress/driver-gets-in-moving.scenario", {}}),
    [](const testing::TestParamInfo<MotionCase>& param) {
        std::string name = fs::path(param.param.scenario).stem().string();
        for (char& c : name) {
            if (c == '-') c = '_';
        }
        return name;
    });

}  // namespace
}  // namespace kovra::cli
