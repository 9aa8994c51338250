// kovra.asi in the test host under wine, against the simulated game.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "WindowsRun.h"
#include "kovra/config/PathText.h"
#include "kovra/handles/car/IkHandle.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/LimbSolver.h"
#include "kovra/ik/Skeleton.h"
#include "sim/Scenario.h"
#include "sim/SimHost.h"
#include "windows/TestHostBuilds.h"

namespace kovra::wintest {
namespace {

namespace fs = std::filesystem;

constexpr int kPoseEvery = 50;

struct SteerTarget {
    Vector3 target;
    bool engaged = false;
};

// The same scenario in the simulated game, with the plugin reading the same
// folder: the poses it gives at the frames the test host reports, and where
// the steering handle put each hand's target.
struct Reference {
    std::map<PoseKey, Pose> poses;
    std::map<PoseKey, SteerTarget> steer;
};

class SteerLog : public SolveListener {
public:
    void OnLimbSolved(const LimbSolve& s) override { last[{s.ped, s.endNode}] = s; }
    std::map<std::pair<CPed*, int>, LimbSolve> last;
};

// Every driver runs this animation, which the priority file lets claim the feet.
constexpr const char* kDriversAnimation = "car_sit";

Reference RunReference(const fs::path& folder, const fs::path& scenarioFile) {
    Reference ref;
    std::string error;
    const std::optional<sim::Scenario> scenario = sim::Scenario::Load(scenarioFile, &error, ScenesDirectory());
    EXPECT_TRUE(scenario) << error;
    if (!scenario) return ref;
    sim::SimHost host;
    host.SetGameDirectory(TextFromPath(folder));
    host.SetPluginDirectory(TextFromPath(folder));
    Runtime runtime(host);
    SteerLog log;
    runtime.solver().setSolveListener(&log);
    host.SetTimeStep(scenario->timeStep);
    host.StartGame();
    std::vector<CVehicle*> vehicles;
    for (const sim::ScenarioVehicle& sv : scenario->vehicles) {
        if (!host.HasVehicleModel(sv.model.id)) host.AddVehicleModel(sv.model);
        CVehicle* vehicle = host.CreateVehicle(sv.model.id, sv.WorldMatrix());
        vehicles.push_back(vehicle);
        if (sv.driver == sim::ScenarioDriver::None) continue;
        CPed* driver = host.CreatePed();
        host.SeatPed(driver, vehicle, true);
        host.AddAnimation(driver, kDriversAnimation);
        if (sv.driver == sim::ScenarioDriver::Player) host.SetPlayer(driver);
    }
    for (int frame = 0; frame < scenario->frameCount; ++frame) {
        for (std::size_t i = 0; i < vehicles.size(); ++i) {
            sim::Scenario::CopyInputs(scenario->InputsAt(static_cast<int>(i), frame), vehicles[i]->state);
        }
        log.last.clear();
        host.RunFrame();
        if ((frame + 1) % kPoseEvery != 0 && frame + 1 != scenario->frameCount) continue;
        for (int slot = 0; slot < host.PedPoolCapacity(); ++slot) {
            CPed* ped = host.PedInSlot(slot);
            if (ped == nullptr || !host.PedInVehicle(ped)) continue;
            for (int node = 0; node < kNodeCount; ++node) {
                ref.poses[{frame, slot, node}] = {host.BoneFrameData(ped, node)->rotation,
                                                  host.BoneMatrix(ped, node)->pos};
            }
            for (int hand : {kLeftHandNode, kRightHandNode}) {
                const auto it = log.last.find({ped, hand});
                if (it == log.last.end()) continue;
                // The hand's last solve of the frame, when the wheel had it.
                const LimbSolve& solve = it->second;
                ref.steer[{frame, slot, hand}] = {solve.target, solve.tag == static_cast<int>(HandleKind::Steer) &&
                                                                    solve.reached && solve.weight >= 1.0f};
            }
        }
    }
    return ref;
}

float Distance(const Vector3& a, const Vector3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// The bytes start-up may change in a supported build: the start-up byte and
// the rel32 of every site, as the build lists them.
std::string Hex(windows::Address address) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(address));
    return hex;
}

std::vector<std::string> PatchedBytes() {
    std::vector<windows::Address> bytes{windows::kTestHostBuild10.startupByte};
    for (const windows::HookSite& site : windows::kTestHostBuild10.sites) {
        for (windows::Address b = site.site + 1; b < site.site + 5; ++b) bytes.push_back(b);
    }
    std::sort(bytes.begin(), bytes.end());
    std::vector<std::string> text;
    for (windows::Address b : bytes) text.push_back(Hex(b));
    return text;
}

// Start-up changed the code where it may and nowhere else, and patched
// every site. A rewritten rel32 may keep one of its bytes (the new target
// differs from the old only in the others), so a site counts as patched when
// any of its bytes changed.
void ExpectOnlyPatchedBytesChanged(const std::vector<std::string>& changed) {
    const std::vector<std::string> patchable = PatchedBytes();
    for (const std::string& b : changed) {
        EXPECT_TRUE(std::binary_search(patchable.begin(), patchable.end(), b)) << b << " changed";
    }
    EXPECT_TRUE(std::binary_search(changed.begin(), changed.end(), Hex(windows::kTestHostBuild10.startupByte)));
    for (const windows::HookSite& site : windows::kTestHostBuild10.sites) {
        bool patched = false;
        for (windows::Address b = site.site + 1; b < site.site + 5; ++b) {
            patched = patched || std::binary_search(changed.begin(), changed.end(), Hex(b));
        }
        EXPECT_TRUE(patched) << "the site at " << Hex(site.site) << " is untouched";
    }
}

// The files the plugin reads when the engine is ready, each first present
// as a decoy with other values: the real ones replace them only after the
// modules are loaded, so a read at load time would show in the poses.
void AddGameFiles(RunFolder& folder) {
    folder.Write("Kovra_Config.ini", "[Config]\nAllow_NPCs = 0\n[Multipliers]\ngWristOffsetY = 0.3\n");
    folder.Write("Kovra_Config.ini.later", "[Config]\r\nAllow_NPCs = 1\r\n[Multipliers]\r\ngWristOffsetY = -0.05\r\n");
    folder.Write("Kovra_PriorityAnims.ini.later", "[PriorityAnims]\nCAR_SIT = 24\n");
    folder.Write("modloader/Cars/Kovra_sedan.ini",
                 "[Kovra_Vehicle]\nFileVer = 1\nModelID = 400\n\n[SteerIK]\nGrabOffset = 0.1, 0.1, 0.1\n");
    folder.Write("modloader/Cars/Kovra_sedan.ini.later",
                 "[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 400\r\n\r\n[SteerIK]\r\nGrabOffset = 0.02, 0, -0.01\r\n");
}

// The test host is a 32-bit program whose floats go through the x87 unit;
// over a 300-frame drive, tens of metres from the start, its rounding
// parts from the 64-bit simulated game's by about 1e-4.
constexpr float kPoseTolerance = 2e-4f;

void ExpectSamePoses(const Report& run, const Reference& ref) {
    ASSERT_FALSE(ref.poses.empty());
    EXPECT_EQ(run.poses.size(), ref.poses.size());
    int compared = 0;
    for (const auto& [key, expected] : ref.poses) {
        const auto it = run.poses.find(key);
        ASSERT_NE(it, run.poses.end()) << "frame " << std::get<0>(key) << " slot " << std::get<1>(key);
        const Quaternion& a = it->second.rotation;
        const Quaternion& b = expected.rotation;
        const float d = std::max({std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z), std::fabs(a.w - b.w)});
        EXPECT_LE(d, kPoseTolerance) << "frame " << std::get<0>(key) << " slot " << std::get<1>(key) << " node "
                            << std::get<2>(key);
        ++compared;
    }
    EXPECT_GT(compared, 0);
    int hands = 0;
    for (const auto& [key, steer] : ref.steer) {
        if (!steer.engaged) continue;
        const auto it = run.poses.find(key);
        ASSERT_NE(it, run.poses.end());
        EXPECT_LE(Distance(it->second.position, steer.target), 0.002f)
            << "hand node " << std::get<2>(key) << " at frame " << std::get<0>(key);
        ++hands;
    }
    EXPECT_GT(hands, 0) << "the steering hands were never on the wheel";
}

// A supported build, version "1.0" or "1.1".
void RunSupportedBuild(const std::string& version) {
    RunFolder folder("game");
    folder.AddBuilt("testhost-" + version + ".exe", "game.exe");
    folder.AddBuilt("kovra.asi");
    AddGameFiles(folder);
    const Report run = folder.Run("game.exe", DataFile("drive.scenario"), "--swap later --animation " + std::string(kDriversAnimation));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.modules, std::vector<std::string>{"kovra.asi"});
    EXPECT_EQ(run.frames, 300);

    // Start-up: the extension slot's sites, the start-up byte, then every
    // event's sites in subscription order; nothing else of the code changed.
    ASSERT_EQ(run.logLines.size(), 1u);
    std::string expected = "Kovra: test host " + version + " at " + (version == "1.0" ? "0x00400000" : "0x10000000") + ":";
    int i = 0;
    for (const windows::HookSite& site : windows::kTestHostBuild10.sites) {
        if (i++ == 3) expected += " start-up byte";
        char address[16];
        std::snprintf(address, sizeof address, "0x%08X", static_cast<unsigned>(site.site));
        const char* names[] = {"EngineReady", "PedIk", "PedHead", "VehicleProcess", "VehicleFrameEnd", "Frame", "OverlayB",
                               "SeatPlacement", "BikeProcess", "VehicleAudioGear", "VehicleCreated", "VehicleDestroyed",
                               "VehiclePoolCreated"};
        expected += std::string(" ") + names[static_cast<int>(site.event)] + "@" + address;
    }
    EXPECT_EQ(run.logLines[0], expected + "\r");
    ExpectOnlyPatchedBytesChanged(run.changed);
    EXPECT_EQ(run.startupByte, 50);

    // Running: every routine the game ran reached the plugin, in the game's order.
    for (const auto& [name, c] : run.routines) {
        EXPECT_EQ(c.steps, c.entered) << name << ": the game's own step always runs";
        EXPECT_EQ(c.viaModule, c.entered) << name;
    }
    EXPECT_EQ(run.lastFrame, (std::vector<std::string>{
                                 "Frame+", "VehicleProcessCar+", "VehicleProcessBike+", "BikeProcess+",
                                 "VehicleAudioCar+", "VehicleAudioBike+", "SeatPlacement+", "PedIkDriver+",
                                 "PedHeadDriver+", "SeatPlacement+", "PedIkDriver+", "PedHeadDriver+",
                                 "VehicleFrameEndCar+", "VehicleFrameEndBike+", "Overlay+"}));
    ExpectSamePoses(run, RunReference(folder.path(), DataFile("drive.scenario")));
}

TEST(WindowsTestHost10, PatchesItsSitesInStartUpOrderAndPosesAsTheSimulatedGame) { RunSupportedBuild("1.0"); }

// Linked at another image base: every address is moved to where it is.
TEST(WindowsTestHost11, PatchesItsSitesInStartUpOrderAndPosesAsTheSimulatedGame) { RunSupportedBuild("1.1"); }

TEST(WindowsUnknownBuild, RunsUntouchedWithOneLineInTheLog) {
    RunFolder folder("game");
    folder.AddBuilt("testhost-1.2.exe", "game.exe");
    folder.AddBuilt("kovra.asi");
    AddGameFiles(folder);
    const Report run = folder.Run("game.exe", DataFile("drive.scenario"), "--animation " + std::string(kDriversAnimation));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.frames, 300);
    EXPECT_TRUE(run.changed.empty());
    EXPECT_EQ(run.startupByte, 0);
    for (const auto& [name, c] : run.routines) EXPECT_EQ(c.viaModule, 0) << name;
    ASSERT_EQ(run.logLines.size(), 1u);
    EXPECT_EQ(run.logLines[0], "Kovra: the game at 0x00400000 is no supported build; nothing was changed\r");
}

TEST(WindowsHooks, ACallbackThatThrowsDoesNotEndTheGame) {
    RunFolder folder("game");
    folder.AddBuilt("testhost-1.0.exe", "game.exe");
    folder.AddBuilt("throwing.asi");
    const Report run = folder.Run("game.exe", DataFile("drive.scenario"), "--animation " + std::string(kDriversAnimation));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.frames, 300);
    const RoutineCounts& frame = run.routines.at("Frame");
    EXPECT_EQ(frame.entered, 300);
    EXPECT_EQ(frame.viaModule, 300) << "through the throwing hook";
    EXPECT_EQ(frame.steps, 300) << "and the game's step ran every time";
}

TEST(WindowsFolders, AGameInAFolderWithANonAsciiNameFindsAndWritesItsFiles) {
    RunFolder folder("Spiel \xC3\xBC\xCE\xA9 \xE6\xB8\xB8\xE6\x88\xB2");
    folder.AddBuilt("testhost-1.0.exe", "game.exe");
    folder.AddBuilt("kovra.asi");
    AddGameFiles(folder);
    const Report run = folder.Run("game.exe", DataFile("drive.scenario"), "--swap later --animation " + std::string(kDriversAnimation));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.logLines.size(), 1u) << "the module's log, written beside it";
    EXPECT_EQ(run.output.find("Invalid directory"), std::string::npos) << run.output;
    // The poses match only if the settings and the sedan's file under the
    // folder were read: the defaults pose differently.
    const Reference read = RunReference(folder.path(), DataFile("drive.scenario"));
    ExpectSamePoses(run, read);
    RunFolder empty("empty");
    const Reference defaults = RunReference(empty.path(), DataFile("drive.scenario"));
    float largest = 0.0f;
    for (const auto& [key, pose] : defaults.poses) {
        largest = std::max(largest, std::fabs(pose.rotation.w - read.poses.at(key).rotation.w));
    }
    EXPECT_GT(largest, 1e-3f);
}

}  // namespace
}  // namespace kovra::wintest
