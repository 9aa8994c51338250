// kovra.asi in the test host under wine, against the simulated game.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
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
#include "testhost/ReportLines.h"
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

// What the test host's --others and --destroy add to a scenario, and the
// animation its drivers run (none when null).
struct Extras {
    bool others = false;
    int destroyAt = -1;
    const char* animation = kDriversAnimation;
    bool companion = false;   // the companion module is loaded
    bool cameraOnDriver = false, cameraOnPassenger = false;  // the camera in that head
};

// The simulated game on a scenario as the test host plays it, with the
// plugin reading `folder`: the same vehicles, characters and inputs.
class SimGame {
public:
    SimGame(const fs::path& folder, const sim::Scenario& scenario, Extras extras)
        : scenario_(scenario), extras_(extras), runtime_((Folders(folder), host_)) {
        host_.SetTimeStep(scenario.timeStep);
        if (extras.companion) host_.AddLoadedModule("QDRNX.asi");
        host_.StartGame();
        for (const sim::ScenarioVehicle& sv : scenario.vehicles) {
            if (!host_.HasVehicleModel(sv.model.id)) host_.AddVehicleModel(sv.model);
            CVehicle* vehicle = host_.CreateVehicle(sv.model.id, sv.WorldMatrix());
            vehicles_.push_back(vehicle);
            if (sv.driver == sim::ScenarioDriver::None) continue;
            CPed* driver = host_.CreatePed();
            host_.SeatPed(driver, vehicle, true);
            if (extras.animation != nullptr) host_.AddAnimation(driver, extras.animation);
            if (sv.driver == sim::ScenarioDriver::Player) host_.SetPlayer(driver);
        }
        if (!extras.others) return;
        for (std::size_t i = 0; i < vehicles_.size(); ++i) {
            if (host_.VehicleDriver(vehicles_[i]) == nullptr || scenario.vehicles[i].model.IsBike()) continue;
            host_.SeatPed(host_.CreatePed(), vehicles_[i], false);
            break;
        }
        host_.CreatePed();
    }

    sim::SimHost& host() { return host_; }
    Runtime& runtime() { return runtime_; }

    // One frame: the vehicles' inputs and the player's keys, typing and mouse.
    void Frame(int frame) {
        if (frame == extras_.destroyAt && vehicles_.size() > 1) {
            host_.DestroyVehicle(vehicles_[1]);
            vehicles_[1] = nullptr;
        }
        for (std::size_t i = 0; i < vehicles_.size(); ++i) {
            if (vehicles_[i] == nullptr) continue;
            sim::Scenario::CopyInputs(scenario_.InputsAt(static_cast<int>(i), frame), vehicles_[i]->state);
        }
        const std::string typed = scenario_.TypedAt(frame);
        if (!typed.empty()) host_.TypeText(typed);
        if (extras_.cameraOnDriver || extras_.cameraOnPassenger) {
            // The first character in that seat, in slot order, as the test host looks.
            for (int slot = 0; slot < host_.PedPoolCapacity(); ++slot) {
                CPed* ped = host_.PedInSlot(slot);
                if (ped == nullptr || ped->seat != (extras_.cameraOnDriver ? sim::PedSeat::Driver : sim::PedSeat::Passenger)) {
                    continue;
                }
                host_.SetCameraPosition(host_.BoneMatrix(ped, host_.BoneHierarchyIndex(ped, 5))->pos);
                break;
            }
        }
        host_.SetKeyboard(scenario_.KeyboardAt(frame));
        float dx = 0.0f, dy = 0.0f;
        scenario_.MouseAt(frame, dx, dy);
        host_.SetMouseMovement(dx, dy);
        host_.RunFrame();
    }

private:
    void Folders(const fs::path& folder) {
        host_.SetGameDirectory(TextFromPath(folder));
        host_.SetPluginDirectory(TextFromPath(folder));
    }

    const sim::Scenario& scenario_;
    Extras extras_;
    sim::SimHost host_;
    Runtime runtime_;
    std::vector<CVehicle*> vehicles_;
};

std::optional<sim::Scenario> LoadScenario(const fs::path& file) {
    std::string error;
    std::optional<sim::Scenario> scenario = sim::Scenario::Load(file, &error, ScenesDirectory());
    EXPECT_TRUE(scenario) << error;
    return scenario;
}

Reference RunReference(const fs::path& folder, const fs::path& scenarioFile, Extras extras = {}) {
    Reference ref;
    const std::optional<sim::Scenario> scenario = LoadScenario(scenarioFile);
    if (!scenario) return ref;
    SimGame game(folder, *scenario, extras);
    sim::SimHost& host = game.host();
    SteerLog log;
    game.runtime().solver().setSolveListener(&log);
    for (int frame = 0; frame < scenario->frameCount; ++frame) {
        log.last.clear();
        game.Frame(frame);
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

std::string Hex(windows::Address a) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(a));
    return hex;
}

// Start-up changed the start-up byte and the rel32 of every site, as the
// build lists them, and nothing else. A new rel32 may share a byte with the
// old one, so a site need only show one of its four bytes changed.
void ExpectOnlyTheSitesPatched(const std::vector<std::string>& changed) {
    const auto isChanged = [&](windows::Address a) {
        return std::find(changed.begin(), changed.end(), Hex(a)) != changed.end();
    };
    std::vector<std::string> patchable{Hex(windows::kTestHostBuild10.startupByte)};
    EXPECT_TRUE(isChanged(windows::kTestHostBuild10.startupByte)) << "the start-up byte";
    for (const windows::HookSite& site : windows::kTestHostBuild10.sites) {
        bool any = false;
        for (windows::Address b = site.site + 1; b < site.site + 5; ++b) {
            patchable.push_back(Hex(b));
            any = any || isChanged(b);
        }
        EXPECT_TRUE(any) << "the site at " << Hex(site.site);
    }
    for (const std::string& byte : changed) {
        EXPECT_NE(std::find(patchable.begin(), patchable.end(), byte), patchable.end()) << byte << " changed";
    }
}

// The game (a test host build, as "game.exe"), the module and its build
// descriptions in the folder.
void AddGame(RunFolder& folder, const std::string& version = "1.0") {
    folder.AddBuilt("testhost-" + version + ".exe", "game.exe");
    folder.AddBuilt("kovra.asi");
    folder.AddBuilt("kovra-builds");
}

// The log's line of a start-up that hooked everything, as read back (with
// its carriage return).
std::string StartupLine(const std::string& version) {
    std::string line = "Kovra: test host " + version + " (kovra-builds\\testhost-" + version +
                       ".ini, of 2 description files) at " + (version == "1.0" ? "0x00400000" : "0x10000000") + ":";
    int i = 0;
    for (const windows::HookSite& site : windows::kTestHostBuild10.sites) {
        if (i++ == 3) line += " start-up byte";
        const char* names[] = {"EngineReady", "PedIk", "PedHead", "VehicleProcess", "VehicleFrameEnd", "Frame", "OverlayB",
                               "SeatPlacement", "BikeProcess", "VehicleAudioGear", "VehicleCreated", "VehicleDestroyed",
                               "VehiclePoolCreated"};
        line += std::string(" ") + names[static_cast<int>(site.event)] + "@" + Hex(site.site);
    }
    return line + "\r";
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
        EXPECT_LE(d, 1e-4f) << "frame " << std::get<0>(key) << " slot " << std::get<1>(key) << " node "
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
    AddGame(folder, version);
    AddGameFiles(folder);
    const Report run = folder.Run("game.exe", DataFile("drive.scenario"), "--swap later --animation " + std::string(kDriversAnimation));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.modules, std::vector<std::string>{"kovra.asi"});
    EXPECT_EQ(run.frames, 300);

    // Start-up: the extension slot's sites, the start-up byte, then every
    // event's sites in subscription order; nothing else of the code changed.
    ASSERT_EQ(run.logLines.size(), 1u);
    EXPECT_EQ(run.logLines[0], StartupLine(version));
    ExpectOnlyTheSitesPatched(run.changed);
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

using WindowsTestHost10 = Needs32BitPrograms;
using WindowsTestHost11 = Needs32BitPrograms;
using WindowsUnknownBuild = Needs32BitPrograms;
using WindowsHooks = Needs32BitPrograms;
using WindowsFolders = Needs32BitPrograms;
using WindowsStartup = Needs32BitPrograms;
using WindowsBesideOtherModules = Needs32BitPrograms;
using WindowsBuildDescriptions = Needs32BitPrograms;
using WindowsEveryRoutine = Needs32BitPrograms;

TEST_F(WindowsTestHost10, PatchesItsSitesInStartUpOrderAndPosesAsTheSimulatedGame) { RunSupportedBuild("1.0"); }

// Linked at another image base: every address is moved to where it is.
TEST_F(WindowsTestHost11, PatchesItsSitesInStartUpOrderAndPosesAsTheSimulatedGame) { RunSupportedBuild("1.1"); }

TEST_F(WindowsUnknownBuild, RunsUntouchedWithOneLineInTheLog) {
    RunFolder folder("game");
    folder.AddBuilt("testhost-1.2.exe", "game.exe");
    folder.AddBuilt("kovra.asi");
    folder.AddBuilt("kovra-builds");
    AddGameFiles(folder);
    const Report run = folder.Run("game.exe", DataFile("drive.scenario"), "--animation " + std::string(kDriversAnimation));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.frames, 300);
    EXPECT_TRUE(run.changed.empty());
    EXPECT_EQ(run.startupByte, 0);
    for (const auto& [name, c] : run.routines) EXPECT_EQ(c.viaModule, 0) << name;
    ASSERT_EQ(run.logLines.size(), 1u);
    EXPECT_EQ(run.logLines[0],
              "Kovra: the game at 0x00400000 is not known: it is no build described (kovra-builds\\testhost-1.0.ini:10 "
              "(test host 1.0): byte 24 of its identity at 0x00401000 is 0x32, not 0x30; "
              "kovra-builds\\testhost-1.1.ini:10 (test host 1.1): byte 24 of its identity at 0x00401000 is 0x32, not "
              "0x31); nothing was changed\r");
}

TEST_F(WindowsHooks, ACallbackThatThrowsDoesNotEndTheGame) {
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

// All or nothing: whichever of start-up's first allocations fails, the
// game's code is as it was afterwards, the start-up byte included, no call
// reaches the module and the log says what failed; or start-up succeeded
// whole.
TEST_F(WindowsStartup, AnAllocationFailingAnywhereInStartUpLeavesEveryByteOfTheGame) {
    RunFolder folder("game");
    folder.AddBuilt("testhost-1.0.exe", "game.exe");
    folder.AddBuilt("failing.asi");
    folder.AddBuilt("kovra-builds");
    int failed = 0;
    for (int n = 1; n <= 60; ++n) {
        const Report run = folder.Run("game.exe", DataFile("short.scenario"), "",
                                      "KOVRA_FAIL_ALLOCATION=" + std::to_string(n));
        ASSERT_EQ(run.exitCode, 0) << "allocation " << n << ": " << run.output;
        ASSERT_EQ(run.frames, 4) << "allocation " << n;
        ASSERT_EQ(run.logLines.size(), 1u) << "allocation " << n;
        if (run.logLines[0].starts_with("Kovra: start-up failed while ")) {
            ++failed;
            EXPECT_NE(run.logLines[0].find(": std::bad_alloc; every byte of the game is as it was"), std::string::npos)
                << run.logLines[0];
            EXPECT_TRUE(run.changed.empty()) << "allocation " << n << ": " << run.changed.size() << " bytes changed";
            EXPECT_EQ(run.startupByte, 0) << "allocation " << n;
            for (const auto& [name, c] : run.routines) EXPECT_EQ(c.viaModule, 0) << "allocation " << n << ": " << name;
        } else {
            EXPECT_EQ(run.logLines[0], StartupLine("1.0")) << "allocation " << n;
            ExpectOnlyTheSitesPatched(run.changed);
        }
    }
    EXPECT_EQ(failed, 60) << "start-up allocates more than 60 times, each of which may fail";
}

// Another module hooks the frame site, the car's vehicle-process site and
// the drivers' IK site, loaded before kovra.asi ("chain.asi") and after it
// ("zchain.asi"): both modules' calls arrive every frame, kovra's poses are
// the simulated game's, and the log names the chain.
TEST_F(WindowsBesideOtherModules, BothRunWhicheverLoadsFirstAndThePosesAreTheSimulatedGames) {
    for (const std::string other : {"chain", "zchain"}) {
        SCOPED_TRACE(other);
        RunFolder folder("game");
        AddGame(folder);
        folder.AddBuilt("chain.asi", other + ".asi");
        AddGameFiles(folder);
        const Report run = folder.Run("game.exe", DataFile("drive.scenario"),
                                      "--swap later --animation " + std::string(kDriversAnimation));
        ASSERT_EQ(run.exitCode, 0) << run.output;
        ASSERT_EQ(run.modules.size(), 2u);
        std::string counts;
        std::getline(std::ifstream(folder.path() / (other + ".txt")), counts);
        EXPECT_EQ(counts, "frame 300 vehicle-process 300 ped-ik 600") << "the other module's calls, every frame";
        for (const auto& [name, c] : run.routines) {
            EXPECT_EQ(c.steps, c.entered) << name;
            EXPECT_EQ(c.viaModule, c.entered) << name;
        }
        ASSERT_EQ(run.logLines.size(), 1u);
        std::string expected = StartupLine("1.0");
        if (other == "chain") {
            for (const char* site : {"PedIk@0x00401182", "VehicleProcess@0x00401220", "Frame@0x004012A4"}) {
                const std::size_t at = expected.find(site) + std::strlen(site);
                expected.insert(at, " chained after chain.asi");
            }
        }
        EXPECT_EQ(run.logLines[0], expected);
        ExpectSamePoses(run, RunReference(folder.path(), DataFile("drive.scenario")));
    }
}

// A module that put no-operations where the bike-process call was: only
// that event is refused, with the reason in the log; every other event is
// hooked and reaches the plugin.
TEST_F(WindowsBesideOtherModules, ASiteWithoutABranchRefusesOnlyItsEvent) {
    RunFolder folder("game");
    AddGame(folder);
    folder.AddBuilt("chain.asi", "a-nop.asi");
    const Report run = folder.Run("game.exe", DataFile("short.scenario"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const auto& [name, c] : run.routines) {
        EXPECT_EQ(c.viaModule, name == "BikeProcess" ? 0 : c.entered) << name;
    }
    ASSERT_EQ(run.logLines.size(), 1u);
    std::string expected = StartupLine("1.0");
    const std::string site = " BikeProcess@0x00401300";
    expected.replace(expected.find(site), site.size(),
                     " refused BikeProcess (the site at 0x00401300 holds no call or jump (byte 0x90))");
    EXPECT_EQ(run.logLines[0], expected);
    EXPECT_EQ(run.startupByte, 50);
}

// Two copies of the module in one folder: the first hooks, the second
// changes nothing and adds its line after the first's.
TEST_F(WindowsBesideOtherModules, ASecondCopyHooksNothingAndAddsItsLine) {
    RunFolder folder("game");
    AddGame(folder);
    folder.AddBuilt("kovra.asi", "kovra2.asi");
    const Report run = folder.Run("game.exe", DataFile("short.scenario"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.logLines.size(), 2u);
    EXPECT_EQ(run.logLines[0], StartupLine("1.0"));
    EXPECT_NE(run.logLines[1].find("kovra2.asi is a second copy; another copy runs in this game, so this one "
                                   "changed nothing"),
              std::string::npos)
        << run.logLines[1];
    ExpectOnlyTheSitesPatched(run.changed);
    for (const auto& [name, c] : run.routines) EXPECT_EQ(c.viaModule, c.entered) << name;
}

// A passenger beside the car's driver and someone on foot, and the
// motorbike destroyed half way while its rider drives it: every character's
// IK call arrives, the passenger's poses the car's driver as the simulated
// game does (once a frame), the person on foot is left alone, and the
// motorbike's rig goes with it.
TEST_F(WindowsEveryRoutine, PassengersPeopleOnFootAndAVehicleDestroyedWhileDriven) {
    RunFolder folder("game");
    AddGame(folder);
    AddGameFiles(folder);
    const Report run = folder.Run("game.exe", DataFile("drive.scenario"),
                                  "--swap later --others 1 --destroy 150 --animation " + std::string(kDriversAnimation));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.frames, 300);
    for (const char* name : {"PedIkPassenger", "PedIkOnFoot", "PedHeadOther"}) {
        EXPECT_GE(run.routines.at(name).entered, 300) << name;
    }
    const RoutineCounts& destroyed = run.routines.at("VehicleDestroyed");
    EXPECT_EQ(destroyed.entered, 1);
    EXPECT_EQ(destroyed.viaModule, 1);
    for (const auto& [name, c] : run.routines) EXPECT_EQ(c.viaModule, c.entered) << name;
    EXPECT_EQ(run.routines.at("VehicleProcessBike").entered, 150) << "no frame of the motorbike after it was destroyed";
    ExpectSamePoses(run, RunReference(folder.path(), DataFile("drive.scenario"), {true, 150}));
}

struct MenuReference {
    std::map<int, std::vector<std::string>> screen, styles, rects;
    std::map<int, std::vector<double>> drawn;  // as the test host's digest
    std::vector<std::string> messages;
    int scriptOpcode = -1;
    int scriptCalls = 0;
};

std::vector<double> Digest(const std::vector<LineVertex>& lines, const std::vector<LineVertex>& triangles) {
    std::vector<double> d{static_cast<double>(lines.size()), static_cast<double>(triangles.size()), 0.0, 0.0, 0.0, 0.0};
    for (const auto* drawn : {&lines, &triangles}) {
        for (const LineVertex& v : *drawn) {
            d[2] += v.pos.x;
            d[3] += v.pos.y;
            d[4] += v.pos.z;
            d[5] += v.colour;
        }
    }
    return d;
}

// The simulated game on a scenario with the player's keys and typing: every
// frame's texts as the test host reports them.
MenuReference RunMenuReference(const fs::path& folder, const fs::path& scenarioFile) {
    MenuReference ref;
    const std::optional<sim::Scenario> scenario = LoadScenario(scenarioFile);
    if (!scenario) return ref;
    SimGame game(folder, *scenario, {.animation = nullptr});
    sim::SimHost& host = game.host();
    for (int frame = 0; frame < scenario->frameCount; ++frame) {
        host.drawnTexts.clear();
        host.drawnRects.clear();
        host.drawnLines.clear();
        host.drawnTriangles.clear();
        game.Frame(frame);
        for (const sim::SimHost::DrawnText& t : host.drawnTexts) {
            char at[64];
            std::snprintf(at, sizeof at, "%.3f %.3f ", t.x, t.y);
            ref.screen[frame].push_back(at + t.text);
            ref.styles[frame].push_back(testhost::StyleText(t.style));
        }
        for (const sim::SimHost::DrawnRect& r : host.drawnRects) {
            ref.rects[frame].push_back(testhost::RectText(r.left, r.top, r.right, r.bottom, r.colour));
        }
        ref.drawn[frame] = Digest(host.drawnLines, host.drawnTriangles);
    }
    for (const sim::SimHost::TimedMessage& m : host.timedMessages) ref.messages.push_back(m.text);
    if (!host.scriptCalls.empty()) ref.scriptOpcode = host.scriptCalls.front().opcode;
    ref.scriptCalls = host.scriptCallCount;
    return ref;
}

std::string ReadAllOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The menu opened with the cheat code and driven by keys in a game folder
// with a non-ASCII name: its screen is the simulated game's frame by frame,
// the debug lines are drawn, the export's timed message is shown and the
// file the module wrote there reads back as the simulated game's. In both
// builds: 1.1 takes the text, rectangle and line routines' arguments in
// another order, and its own records for the style, the vertices and the
// script arguments, so what it draws is the same only if the module's
// adapters put every value where that build has it.
TEST_F(WindowsEveryRoutine, TheMenuDrivenByKeysShowsTheSimulatedGamesScreenAndExports) {
    const std::string name = "Spiel \xC3\xBC\xCE\xA9 \xE6\xB8\xB8\xE6\x88\xB2";
    for (const std::string version : {"1.0", "1.1"}) {
        SCOPED_TRACE(version);
        RunFolder folder(name);
        RunFolder reference(name);
        AddGame(folder, version);
        for (RunFolder* f : {&folder, &reference}) f->Write("Kovra_PriorityAnims.ini", "[PriorityAnims]\nCAR_SIT = 24\n");
        const Report run = folder.Run("game.exe", DataFile("menu.scenario"), "--screen 1");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const MenuReference ref = RunMenuReference(reference.path(), DataFile("menu.scenario"));
        ASSERT_FALSE(ref.screen.empty());
        EXPECT_EQ(run.screen.size(), ref.screen.size());
        for (const auto& [frame, texts] : ref.screen) {
            const auto it = run.screen.find(frame);
            ASSERT_NE(it, run.screen.end()) << "frame " << frame;
            EXPECT_EQ(it->second, texts) << "frame " << frame;
            EXPECT_EQ(run.styles.at(frame), ref.styles.at(frame)) << "frame " << frame;
        }
        EXPECT_EQ(run.rects, ref.rects);
        int drawnFrames = 0;
        for (const auto& [frame, digest] : ref.drawn) {
            const auto it = run.drawn.find(frame);
            ASSERT_NE(it, run.drawn.end()) << "frame " << frame;
            const std::vector<double>& got = it->second;
            ASSERT_EQ(got.size(), digest.size());
            EXPECT_EQ(got[0], digest[0]) << "line vertices in frame " << frame;
            EXPECT_EQ(got[1], digest[1]) << "triangle vertices in frame " << frame;
            for (std::size_t i = 2; i < 5; ++i) EXPECT_NEAR(got[i], digest[i], 0.05) << "frame " << frame;
            EXPECT_EQ(got[5], digest[5]) << "colours in frame " << frame;
            if (digest[0] > 0) ++drawnFrames;
        }
        EXPECT_GT(drawnFrames, 50) << "the debug lines are drawn";
        // The steering's script command, with the sedan's handle in the
        // test host (slot 0, first use: 0 * 256 + 1), as often as in the
        // simulated game.
        ASSERT_GT(ref.scriptCalls, 0);
        EXPECT_EQ(run.scriptCalls, (std::map<std::pair<int, int>, int>{{{ref.scriptOpcode, 1}, ref.scriptCalls}}));
        for (const auto& [routine, calls] : run.hostCalls) EXPECT_GT(calls, 0) << routine;
        EXPECT_EQ(run.hostCalls.size(), 13u);
        // The message names the file, in each game's own folder.
        ASSERT_EQ(run.messages.size(), 1u);
        ASSERT_EQ(ref.messages.size(), 1u);
        const std::string shown = "~g~~h~~h~Config exported!~n~~g~~h~~h~";
        EXPECT_TRUE(run.messages[0].starts_with(shown)) << run.messages[0];
        EXPECT_TRUE(run.messages[0].ends_with(name + "\\modloader\\Kovra-Output\\Kovra_sedan.ini")) << run.messages[0];
        EXPECT_TRUE(ref.messages[0].starts_with(shown)) << ref.messages[0];
        for (const char* file : {"modloader/Kovra-Output/Kovra_sedan.ini", "Kovra_Config.ini"}) {
            const std::string written = ReadAllOf(folder.path() / file);
            EXPECT_FALSE(written.empty()) << file;
            EXPECT_EQ(written, ReadAllOf(reference.path() / file)) << file;
        }
    }
}

// The companion module loaded and the camera inside a head: the player
// driver's head folds away, a passenger's (another character's) is left
// alone, each as in the simulated game, bone positions included.
TEST_F(WindowsEveryRoutine, AHeadAtTheCameraFoldsOnlyForThePlayer) {
    for (const std::string seat : {"driver", "passenger"}) {
        SCOPED_TRACE(seat);
        RunFolder folder("game");
        AddGame(folder);
        folder.AddBuilt("chain.asi", "QDRNX.asi");  // only its name matters
        const Report run = folder.Run("game.exe", DataFile("short.scenario"),
                                      "--pose-every 1 --others 1 --camera-on " + seat +
                                          " --animation " + std::string(kDriversAnimation));
        ASSERT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(run.routines.at("PedHeadOther").viaModule, 8) << "the passenger and the person on foot";
        Extras extras{.others = true, .companion = true};
        (seat == "driver" ? extras.cameraOnDriver : extras.cameraOnPassenger) = true;
        const std::optional<sim::Scenario> scenario = LoadScenario(DataFile("short.scenario"));
        ASSERT_TRUE(scenario);
        SimGame game(folder.path(), *scenario, extras);
        int folded = 0;
        for (int frame = 0; frame < scenario->frameCount; ++frame) {
            game.Frame(frame);
            sim::SimHost& host = game.host();
            for (int slot = 0; slot < host.PedPoolCapacity(); ++slot) {
                CPed* ped = host.PedInSlot(slot);
                if (ped == nullptr || !host.PedInVehicle(ped)) continue;
                for (int node = 0; node < kNodeCount; ++node) {
                    const FrameMatrix& m = *host.BoneMatrix(ped, node);
                    const Pose& p = run.poses.at({frame, slot, node});
                    EXPECT_NEAR(p.position.x, m.pos.x, 1e-4f) << "frame " << frame << " slot " << slot << " node " << node;
                    EXPECT_NEAR(p.position.z, m.pos.z, 1e-4f) << "frame " << frame << " slot " << slot << " node " << node;
                    if (m.right.x == 0.0f && m.right.y == 0.0f && m.right.z == 0.0f) ++folded;
                }
            }
        }
        if (seat == "driver") {
            EXPECT_GT(folded, 0) << "the player's head folded away";
        } else {
            EXPECT_EQ(folded, 0) << "another character's head is left as drawn";
        }
    }
}

std::string ReadBuilt(const std::string& file) {
    std::ifstream in(SourceFile("src/testhost/kovra-builds/" + file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Test host 1.0 on the short scenario with one description beside the
// module, "kovra-builds/mine.ini": the test host's with `from` made `to`.
Report RunWithOnlyDescription(const std::string& from, const std::string& to) {
    RunFolder folder("game");
    folder.AddBuilt("testhost-1.0.exe", "game.exe");
    folder.AddBuilt("kovra.asi");
    std::string text = ReadBuilt("testhost-1.0.ini");
    text.replace(text.find(from), from.size(), to);
    folder.Write("kovra-builds/mine.ini", text);
    return folder.Run("game.exe", DataFile("short.scenario"));
}

// The builds come from the description files alone: with one identifying
// byte changed in the only description there is, the build is unknown, and
// the log names the file, its line and the byte.
TEST_F(WindowsBuildDescriptions, OneIdentifyingByteChangedMakesTheBuildUnknown) {
    const Report run = RunWithOnlyDescription("31 2E 30", "31 2E 39");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(run.changed.empty());
    ASSERT_EQ(run.logLines.size(), 1u);
    EXPECT_EQ(run.logLines[0],
              "Kovra: the game at 0x00400000 is not known: it is no build described (kovra-builds\\mine.ini:10 (test "
              "host 1.0): byte 24 of its identity at 0x00401000 is 0x30, not 0x39); nothing was changed\r");
}

// A faulty description is refused whole with its line; the others are read.
TEST_F(WindowsBuildDescriptions, AFaultyDescriptionIsRefusedWithItsLineAndTheOthersServe) {
    RunFolder folder("game");
    AddGame(folder);
    std::string text = ReadBuilt("testhost-1.0.ini");
    text.replace(text.find("Gear = 57 uint8"), 15, "Gear = 57 byte");
    folder.Write("kovra-builds/a-broken.ini", text);
    const Report run = folder.Run("game.exe", DataFile("short.scenario"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.logLines.size(), 2u);
    EXPECT_EQ(run.logLines[0],
              "Kovra: refused the description kovra-builds\\a-broken.ini:86: Gear: \"byte\" is no type (int8, uint8, "
              "int16, uint16, int32, uint32)\r");
    std::string expected = StartupLine("1.0");
    expected.replace(expected.find("of 2 description"), 4, "of 3");
    EXPECT_EQ(run.logLines[1], expected);
    ExpectOnlyTheSitesPatched(run.changed);
}

// A description whose site lies outside the executable (a typing slip in
// an address) is not read there: that event is refused and the game runs.
TEST_F(WindowsBuildDescriptions, ASiteOutsideTheImageRefusesItsEventWithoutReadingThere) {
    const Report run =
        RunWithOnlyDescription("BikeProcess = call thiscall 0x00401300", "BikeProcess = call thiscall 0x7F001300");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.frames, 4);
    ASSERT_EQ(run.logLines.size(), 1u);
    EXPECT_NE(run.logLines[0].find(" refused BikeProcess (the site at 0x7F001300 lies outside the game's image) "),
              std::string::npos)
        << run.logLines[0];
    EXPECT_EQ(run.routines.at("BikeProcess").viaModule, 0);
    EXPECT_EQ(run.routines.at("Frame").viaModule, 4);
}

// A variable put outside the executable would be read blindly in the
// game's calls: the description is refused whole before anything changes.
TEST_F(WindowsBuildDescriptions, AVariableOutsideTheImageRefusesTheDescription) {
    const Report run = RunWithOnlyDescription("CameraPosition = 0x0340000C", "CameraPosition = 0x7340000C");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(run.changed.empty());
    ASSERT_EQ(run.logLines.size(), 1u);
    EXPECT_EQ(run.logLines[0], "Kovra: refused the description kovra-builds\\mine.ini:53: variable CameraPosition at "
                               "0x7340000C lies outside the game's image; nothing was changed\r");
}

TEST_F(WindowsFolders, AGameInAFolderWithANonAsciiNameFindsAndWritesItsFiles) {
    RunFolder folder("Spiel \xC3\xBC\xCE\xA9 \xE6\xB8\xB8\xE6\x88\xB2");
    AddGame(folder);
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
