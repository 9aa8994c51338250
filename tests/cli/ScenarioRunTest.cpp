#include "cli/ScenarioRun.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

#include "kovra/config/ConfigTestSupport.h"

namespace kovra::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

Json ReadJson(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();  // closed again: Windows removes no open file
    return Json::parse(text.str());
}

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
    // Engaged from the build on (the rig waits ten updates first), once the
    // driver has faded in over 20 frames.
    EXPECT_EQ(steer->framesEngaged, report->frames - 10 - 19);
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

    const Json json = ReadJson(out / "report.json");
    const Json& vehicle = json.at("vehicles").at(0);
    EXPECT_EQ(vehicle.at("model"), "sedan");
    EXPECT_EQ(vehicle.at("handles").at("Steer").at("framesEngaged"), steer->framesEngaged);
    EXPECT_EQ(vehicle.at("stickPositions").get<std::vector<int>>(), report->vehicles[0].stickPositions);
    // How the driver moved: per bone group the largest turn in a frame, per
    // limb end the largest slide over a held control; no group snaps into
    // the pose when the rig builds (it used to, by 176 degrees).
    const Json& turns = vehicle.at("maxTurnPerFrame");
    EXPECT_EQ(turns.size(), static_cast<std::size_t>(kBoneGroupCount));
    for (const auto& [group, turn] : turns.items()) {
        EXPECT_LT(turn.at("degrees").get<double>(), 30.0) << group;
        EXPECT_GE(turn.at("frame").get<int>(), 1) << group;
        EXPECT_TRUE(turn.at("node").is_number_integer()) << group;
    }
    const Json& slides = vehicle.at("maxSlide");
    for (const char* limb : {"right hand", "left hand", "right foot", "left foot"}) {
        ASSERT_TRUE(slides.contains(limb)) << limb;
        EXPECT_LE(slides.at(limb).at("metres").get<double>(), 0.005) << limb;
    }
    EXPECT_EQ(slides.at("right hand").at("handle"), "Gear");
    EXPECT_TRUE(vehicle.at("turnSpikes").empty());
    EXPECT_FALSE(report->pictures.empty());
    for (const fs::path& picture : report->pictures) EXPECT_TRUE(fs::exists(picture)) << picture;
    fs::remove_all(out);
}

TEST(ScenarioRun, BikeRidesReportEveryBikeHandleTheStrokesAndTheSeatMotion) {
    const fs::path out = fs::temp_directory_path() / "kovra-run-bikes";
    fs::remove_all(out);
    RunOptions options;
    options.outDir = out;
    options.scenarioFile = DefaultScenarioFile().parent_path() / "motorbike.scenario";
    std::string error;
    const auto motorbike = RunScenario(options, &error);
    ASSERT_TRUE(motorbike) << error;
    ASSERT_EQ(motorbike->vehicles.size(), 1u);
    const VehicleReport& v = motorbike->vehicles[0];
    for (const char* kind : {"Bar", "Peg", "BikeShift", "HandBrake"}) {
        const HandleReport* h = Find(v, kind);
        ASSERT_NE(h, nullptr) << kind;
        EXPECT_GT(h->framesEngaged, 50) << kind;
        EXPECT_LE(h->maxReachError, 0.002f) << kind;
    }
    for (const char* kind : {"GasPedal", "ClutchPedal", "SeatJiggle"}) {
        EXPECT_NE(Find(v, kind), nullptr) << kind << " is built, though it solves no limb";
    }
    EXPECT_EQ(v.actedGears, (std::vector<int>{1, 2, 3, 4, 3, 2, 1}));
    EXPECT_EQ(v.shiftStrokes, (std::vector<std::string>{"up", "up", "up", "up", "down", "down", "down"}));
    // The rider sways, and rises off the seat as the bike comes down from
    // the jump; forwards he never moves (MaxOffset y is 0 on this model).
    EXPECT_GT(v.seatOffsetMax[0], 0.005f);
    EXPECT_EQ(v.seatOffsetMax[1], 0.0f);
    EXPECT_GT(v.seatOffsetMax[2], 0.05f);
    EXPECT_TRUE(EveryLimbReached(*motorbike));
    const Json json = ReadJson(out / "report.json").at("vehicles").at(0);
    EXPECT_EQ(json.at("shiftStrokes").get<std::vector<std::string>>(), v.shiftStrokes);
    // Figures to 6 significant digits, as they have always been written.
    EXPECT_NEAR(json.at("seatOffsetMax").at(2).get<double>(), v.seatOffsetMax[2], 5e-6 * v.seatOffsetMax[2]);
    EXPECT_EQ(motorbike->pictures.size(), 7u);

    options.scenarioFile = DefaultScenarioFile().parent_path() / "bicycle.scenario";
    options.pictures = false;
    const auto bicycle = RunScenario(options, &error);
    ASSERT_TRUE(bicycle) << error;
    const VehicleReport& b = bicycle->vehicles.at(0);
    ASSERT_EQ(b.handles.size(), 2u);
    for (const char* kind : {"Bar", "Peg"}) {
        const HandleReport* h = Find(b, kind);
        ASSERT_NE(h, nullptr) << kind;
        EXPECT_GT(h->framesEngaged, 500) << kind;
        EXPECT_LE(h->maxReachError, 0.002f) << kind;
    }
    EXPECT_TRUE(b.shiftStrokes.empty());
    EXPECT_EQ(b.seatOffsetMax, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
    fs::remove_all(out);
}

// Any hand or foot that misses, not only the steering hands, fails a run.
TEST(ScenarioRun, EveryHandleCountsForTheOutcome) {
    RunReport report;
    VehicleReport v;
    v.handles.push_back({"Steer", 100, 0, 0.001f});
    v.handles.push_back({"Peg", 100, 0, 0.0019f});
    report.vehicles.push_back(v);
    EXPECT_TRUE(EveryLimbReached(report));
    report.vehicles.push_back(v);
    report.vehicles.back().handles.push_back({"BikeShift", 3, 0, 0.0021f});
    EXPECT_FALSE(EveryLimbReached(report));
    report.vehicles.back().handles.back().maxReachError = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(EveryLimbReached(report));
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
    EXPECT_GE(count, 8);
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

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ScenarioRun, TheMenuScenarioTunesExportsAndSavesInAFreshGameFolder) {
    const fs::path out = fs::temp_directory_path() / "kovra-run-menu";
    fs::remove_all(out);
    RunOptions options;
    options.scenarioFile = DefaultScenarioFile().parent_path() / "menu.scenario";
    options.outDir = out;
    for (int run = 0; run < 2; ++run) {  // the second run starts from an empty game folder again
        std::string error;
        const auto report = RunScenario(options, &error);
        ASSERT_TRUE(report) << error;
        EXPECT_TRUE(report->configFiles.empty());
        EXPECT_EQ(report->filesWritten,
                  (std::vector<std::string>{"Kovra_Config.ini", "modloader/Kovra-Output/Kovra_sedan.ini"}));
        // Exports are CR LF on disk.
        const std::string exported =
            test::readFileLf(out / "game" / "modloader" / "Kovra-Output" / "Kovra_sedan.ini");
        EXPECT_NE(exported.find("[SteerIK]\nGrabOffset = 0.25, 0, 0.19\n"), std::string::npos) << exported;
        for (const auto& v : report->vehicles) {
            for (const auto& h : v.handles) EXPECT_LE(h.maxReachError, 0.002f) << h.kind;
        }
    }
    const Json json = ReadJson(out / "report.json");
    EXPECT_TRUE(json.at("configFiles").empty());
    EXPECT_EQ(json.at("filesWritten").get<std::vector<std::string>>(),
              (std::vector<std::string>{"Kovra_Config.ini", "modloader/Kovra-Output/Kovra_sedan.ini"}));
    // The screen at the picture frames: the menu, then the export message.
    const std::string open = ReadText(out / "sedan--menu-screen-frame-95.svg");
    EXPECT_NE(open.find(">- Kovra Config -</text>"), std::string::npos);
    EXPECT_NE(open.find(">Main &gt;&gt; SteerWheel</text>"), std::string::npos);
    EXPECT_NE(open.find(">0.25</text>"), std::string::npos);
    const std::string closed = ReadText(out / "sedan--menu-screen-frame-200.svg");
    EXPECT_EQ(closed.find("Kovra Config"), std::string::npos);
    EXPECT_NE(closed.find(">Config exported!</text>"), std::string::npos);
    fs::remove_all(out);
}

// The save-load page's actions as a player drives them, in a game folder
// with the sedan's own file and another model's file where its copy would go.
TEST(ScenarioRun, TheStoreActionsScenarioKeepsTheUsersFilesAndRefusesAnEmptyRig) {
    const fs::path dir = fs::temp_directory_path() / "kovra-run-store";
    fs::remove_all(dir);
    const fs::path cars = dir / "game" / "modloader" / "Cars";
    fs::create_directories(cars);
    std::ofstream(cars / "Kovra_sedan.ini", std::ios::binary)
        << "[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 400\r\n\r\n; tuned by hand\r\n[SteerIK]\r\n"
           "GrabOffset = 0.250, 0, 0.19 ; the rim\r\nRestAngle = 45.0\r\n";
    const std::string van = "[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 999\r\n\r\n[SteerIK]\r\nRestAngle = 12\r\n";
    std::ofstream(cars / "Kovra_sedan_C.ini", std::ios::binary) << van;
    RunOptions options;
    options.scenarioFile = DefaultScenarioFile().parent_path() / "store-actions.scenario";
    options.outDir = dir / "out";
    options.gameDir = dir / "game";
    std::string error;
    const auto report = RunScenario(options, &error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->filesWritten,
              (std::vector<std::string>{"Kovra_Config.ini", "modloader/Cars/Kovra_sedan.ini",
                                        "modloader/Cars/Kovra_sedan_C_2.ini"}));
    // The user's lines and spelling stay; the pattern block of the first
    // export went with the second, which switched "Export Gears" off.
    const std::string sedan = test::readFileLf(cars / "Kovra_sedan.ini");
    EXPECT_EQ(sedan.rfind("[Kovra_Vehicle]\nFileVer = 1\nModelID = 400\n\n; tuned by hand\n[SteerIK]\n"
                          "GrabOffset = 0.250, 0, 0.19 ; the rim\nRestAngle = 45.0\n",
                          0),
              0u)
        << sedan;
    EXPECT_NE(sedan.find("ShiftPattern = 2\n"), std::string::npos);
    EXPECT_EQ(sedan.find("[GearPattern]"), std::string::npos) << sedan;
    // The other model's file is untouched; the copy took the next name.
    EXPECT_EQ(ReadText(cars / "Kovra_sedan_C.ini"), van);
    EXPECT_NE(test::readFileLf(cars / "Kovra_sedan_C_2.ini").find("ModelID = 400\n"), std::string::npos);
    EXPECT_NE(ReadText(dir / "out" / "sedan--store-actions-screen-frame-92.svg").find(">Config exported!</text>"),
              std::string::npos);
    EXPECT_NE(ReadText(dir / "out" / "sedan--store-actions-screen-frame-264.svg").find(">Export failed!</text>"),
              std::string::npos);
    fs::remove_all(dir);
}

TEST(ScenarioRun, AGameFolderOfTheUsersIsReadAndOnlyWrittenByThePlugin) {
    const fs::path dir = fs::temp_directory_path() / "kovra-run-game";
    fs::remove_all(dir);
    fs::create_directories(dir / "game" / "modloader" / "Cars");
    std::ofstream(dir / "game" / "modloader" / "Cars" / "Kovra_sedan.ini")
        << "[Kovra_Vehicle]\nModelID = 400\n[GearIK]\nShiftPattern = 2\n";
    std::ofstream(dir / "game" / "Kovra_Config.ini") << "[Menu]\nCheatCode = tune\n";
    std::ofstream(dir / "run.scenario") << "kovra-scenario 1\nframes 40\ntype 20 kovra\ntype 30 tune\n"
                                           "vehicle sedan.vehicle\n  driver player\n";
    RunOptions options;
    options.scenarioFile = dir / "run.scenario";
    options.outDir = dir / "out";
    options.gameDir = dir / "game";
    options.pictures = false;
    std::string error;
    const auto report = RunScenario(options, &error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->configFiles, (std::vector<std::string>{"modloader/Cars/Kovra_sedan.ini"}));
    EXPECT_TRUE(report->filesWritten.empty());  // "kovra" is not this game's code: nothing opened
    EXPECT_FALSE(fs::exists(dir / "out" / "game"));

    // A game folder that is not there, and an output folder whose "game" is
    // someone else's, are refused.
    options.gameDir = dir / "nowhere";
    EXPECT_FALSE(RunScenario(options, &error));
    EXPECT_NE(error.find("nowhere is not a folder"), std::string::npos) << error;
    options.gameDir.clear();
    options.outDir = dir;
    EXPECT_FALSE(RunScenario(options, &error));
    EXPECT_NE(error.find("was not made by kovra run"), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(dir / "game" / "Kovra_Config.ini"));
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
    report.vehicles.back().handles.push_back({"Peg", 1, 1, std::numeric_limits<float>::quiet_NaN()});
    report.scenario += std::string("\x01 and a broken \xff");
    const std::string text = ReportJson(report);
    // Quotes, backslashes, control characters and bytes that are not UTF-8
    // all leave JSON that parses; a reach error that is not a number is null.
    const Json json = Json::parse(text);
    EXPECT_EQ(json.at("scenario"), "a \"quoted\" \\ name\x01 and a broken \xef\xbf\xbd") << text;
    EXPECT_EQ(json.at("vehicles").at(0).at("handles").at("Steer"),
              Json::parse(R"({"framesEngaged": 2, "framesOutOfReach": 0, "maxReachError": 0.001})"));
    EXPECT_TRUE(json.at("vehicles").at(0).at("handles").at("Peg").at("maxReachError").is_null());
    // The keys keep their order: the report reads top-down as before.
    EXPECT_LT(text.find("\"scenario\""), text.find("\"frames\""));
    EXPECT_LT(text.find("\"filesWritten\""), text.find("\"vehicles\""));
}

}  // namespace
}  // namespace kovra::cli
