#include "cli/ScenarioRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kovra::cli {
namespace {

namespace fs = std::filesystem;

const HandleReport* Find(const VehicleReport& v, const std::string& kind) {
    for (const HandleReport& h : v.handles) {
        if (h.kind == kind) return &h;
    }
    return nullptr;
}

TEST(ScenarioRun, DefaultDriveWorksEveryCarControl) {
    const fs::path out = fs::temp_directory_path() / "kovra-run-test";
    fs::remove_all(out);
    RunOptions options;
    options.outDir = out;
    int lastFrame = 0;
    options.progress = [&](int frame, int) { lastFrame = frame; };
    std::string error;
    const auto report = RunScenario(options, &error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(lastFrame, report->frames);
    ASSERT_EQ(report->vehicles.size(), 1u);
    const HandleReport* steer = Find(report->vehicles[0], "Steer");
    ASSERT_NE(steer, nullptr);
    // Engaged from the build on (the rig waits ten updates first).
    EXPECT_EQ(steer->framesEngaged, report->frames - 10);
    EXPECT_EQ(steer->framesOutOfReach, 0);
    EXPECT_LE(steer->maxReachError, 0.002f);
    // Every car control engages and reaches its target.
    for (const char* kind : {"Gear", "HandBrake", "GasPedal", "ClutchPedal"}) {
        const HandleReport* h = Find(report->vehicles[0], kind);
        ASSERT_NE(h, nullptr) << kind;
        EXPECT_GT(h->framesEngaged, 20) << kind;
        EXPECT_LE(h->maxReachError, 0.002f) << kind;
    }
    // The stick follows the drive's gears: up to fifth, down to first,
    // reverse, first again; the clutch goes down once for each shift.
    EXPECT_EQ(report->vehicles[0].stickPositions, (std::vector<int>{1, 2, 3, 4, 5, 4, 3, 2, 1, 6, 1}));
    EXPECT_EQ(report->vehicles[0].clutchStrokes,
              static_cast<int>(report->vehicles[0].stickPositions.size()));

    std::stringstream json;
    json << std::ifstream(out / "report.json").rdbuf();  // closed again: Windows removes no open file
    EXPECT_NE(json.str().find("\"Steer\": {\"framesEngaged\": "), std::string::npos) << json.str();
    EXPECT_NE(json.str().find("\"model\": \"sedan\""), std::string::npos);
    EXPECT_FALSE(report->pictures.empty());
    for (const fs::path& picture : report->pictures) EXPECT_TRUE(fs::exists(picture)) << picture;
    fs::remove_all(out);
}

TEST(ScenarioRun, EveryBuiltInScenarioRuns) {
    const fs::path scenes = DefaultScenarioFile().parent_path();
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(scenes)) {
        if (entry.path().extension() != ".scenario") continue;
        RunOptions options;
        options.scenarioFile = entry.path();
        options.outDir = fs::temp_directory_path() / "kovra-run-builtin";
        options.pictures = false;
        std::string error;
        const auto report = RunScenario(options, &error);
        ASSERT_TRUE(report) << entry.path() << ": " << error;
        for (const VehicleReport& v : report->vehicles) {
            for (const HandleReport& h : v.handles) {
                EXPECT_LE(h.maxReachError, 0.002f) << entry.path() << " " << h.kind;
            }
        }
        ++count;
    }
    EXPECT_GE(count, 7);
    fs::remove_all(fs::temp_directory_path() / "kovra-run-builtin");
}

TEST(ScenarioRun, AConfigFileOfAnotherModelIsRefused) {
    const fs::path dir = fs::temp_directory_path() / "kovra-run-config";
    fs::create_directories(dir);
    std::ofstream(dir / "other.ini") << "[Kovra_Vehicle]\nModelID = 999\n[GearIK]\nShiftPattern = 2\n";
    std::ofstream(dir / "run.scenario") << "kovra-scenario 1\nname x\nframes 5\n"
                                           "vehicle sedan.vehicle\n  config other.ini\n";
    RunOptions options;
    options.scenarioFile = dir / "run.scenario";
    options.outDir = dir / "out";
    std::string error;
    EXPECT_FALSE(RunScenario(options, &error));
    EXPECT_NE(error.find("other.ini"), std::string::npos) << error;
    fs::remove_all(dir);
}

TEST(ScenarioRun, ABrokenScenarioIsNamedInTheError) {
    const fs::path dir = fs::temp_directory_path() / "kovra-run-bad";
    fs::create_directories(dir);
    std::ofstream(dir / "bad.scenario") << "kovra-scenario 1\nname x\nframes ten\n";
    RunOptions options;
    options.scenarioFile = dir / "bad.scenario";
    options.outDir = dir / "out";
    std::string error;
    EXPECT_FALSE(RunScenario(options, &error));
    EXPECT_NE(error.find("bad.scenario:3"), std::string::npos) << error;
    fs::remove_all(dir);
}

TEST(ScenarioRun, ReportJsonEscapesNames) {
    RunReport report;
    report.scenario = "a \"quoted\" \\ name";
    report.frames = 3;
    VehicleReport v;
    v.model = "m";
    v.handles.push_back({"Steer", 2, 0, 0.001f});
    report.vehicles.push_back(v);
    const std::string json = ReportJson(report);
    EXPECT_NE(json.find(R"("scenario": "a \"quoted\" \\ name")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("Steer": {"framesEngaged": 2, "framesOutOfReach": 0, "maxReachError": 0.001})"),
              std::string::npos)
        << json;
}

}  // namespace
}  // namespace kovra::cli
