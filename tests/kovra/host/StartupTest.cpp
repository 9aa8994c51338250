#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

using E = HostEvent;

TEST(Startup, PatchesThenHooksEveryEventOnceInSubscriptionOrder) {
    sim::SimHost host;
    {
        Runtime runtime(host);
        ASSERT_EQ(host.codePatches.size(), 1u);
        EXPECT_EQ(host.codePatches[0].value, 50);
        const std::vector<E> expected = {E::VehicleCreated, E::VehicleDestroyed, E::VehiclePoolCreated,
                                         E::EngineReady,    E::PedIk,            E::PedHead,
                                         E::VehicleProcess, E::VehicleFrameEnd,  E::Frame,
                                         E::OverlayB,       E::SeatPlacement,    E::BikeProcess,
                                         E::VehicleAudioGear};
        EXPECT_EQ(host.installedHooks, expected);
        EXPECT_EQ(host.HookCount(E::OverlayB), 1);  // two subscriptions, one set of hooks
        // Nothing read from disk yet: the settings are the defaults.
        EXPECT_FALSE(runtime.settings().Allow_NPCs);
        EXPECT_EQ(runtime.settings().CheatCode, "kovra");
    }
    // The runtime's end takes its hooks out of the game.
    for (int e = 0; e < static_cast<int>(E::Count); ++e) EXPECT_EQ(host.HookCount(static_cast<E>(e)), 0);
}

TEST(Startup, EngineReadyReadsTheSettingsThenThePriorityList) {
    const auto dir = std::filesystem::temp_directory_path() / "kovra-startup-test";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "Kovra_Config.ini") << "[Config]\nAllow_NPCs = 1\n";
    std::ofstream(dir / "Kovra_PriorityAnims.ini") << "[PriorityAnims]\ncar_sit = 3\n";
    sim::SimHost host;
    host.SetPluginDirectory(dir.string());
    Runtime runtime(host);
    host.StartGame();
    EXPECT_TRUE(runtime.settings().Allow_NPCs);
    const PriorityAnimation* entry = runtime.priorities().priorityEntry(host.NameKey("CAR_SIT"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->mask, 3u);
    std::filesystem::remove_all(dir);
}

TEST(Startup, AHookTheGameRefusesLeavesTheRestWorking) {
    sim::SimHost host;
    host.RefuseHooks(E::PedHead);
    Runtime runtime(host);
    EXPECT_TRUE(runtime.events().pedHead.installed());
    EXPECT_FALSE(runtime.events().pedHead.hooked());
    EXPECT_TRUE(runtime.events().pedIk.hooked());
    host.AddVehicleModel(sim::MakeSedanModel(400));
    host.StartGame();
    CVehicle* car = host.CreateVehicle(400);
    for (int i = 0; i < 12; ++i) host.RunFrame();
    EXPECT_TRUE(runtime.rigs().RigOf(car)->built);
}

TEST(Startup, MissingFoldersAreReportedOnceInAMessageBox) {
    sim::SimHost host;
    host.SetGameDirectory("");
    Runtime runtime(host);
    runtime.paths().GameDirectory();
    runtime.paths().GameDirectory();
    ASSERT_EQ(host.errorBoxes.size(), 1u);
    EXPECT_EQ(host.errorBoxes[0].title, "plugin-sdk");
    EXPECT_EQ(host.errorBoxes[0].text, "FILESYSTEM\nFailed to retrieve game dir path");
}

TEST(FrameInput, KeysPressedOnlyOnTheirFirstFrame) {
    sim::SimHost host;
    Runtime runtime(host);
    const Keyboard& keys = runtime.input().keyboard;
    host.SetKeyDown(51, true);
    for (int frame = 0; frame < 3; ++frame) {
        runtime.OnFrame();
        EXPECT_TRUE(keys.KeyDown(51));
        EXPECT_EQ(keys.KeyPressed(51), frame == 0) << frame;
    }
    host.SetKeyDown(51, false);
    runtime.OnFrame();
    EXPECT_FALSE(keys.KeyDown(51));
    EXPECT_FALSE(keys.KeyDown(300));  // outside the table: never down
}

TEST(FrameInput, CompanionModuleIsPolledEveryHundredFrames) {
    sim::SimHost host;
    Runtime runtime(host);
    host.AddLoadedModule("QDRNX.asi");
    runtime.OnFrame();
    EXPECT_TRUE(runtime.input().companionPresent);  // the first frame polls
    host.RemoveLoadedModule("QDRNX.asi");
    for (int i = 0; i < 99; ++i) runtime.OnFrame();
    EXPECT_TRUE(runtime.input().companionPresent);
    runtime.OnFrame();
    EXPECT_FALSE(runtime.input().companionPresent);
}

TEST(FrameInput, SkeletonsInVehiclesAreRefreshedPlayerOnlyUnlessNpcsAllowed) {
    sim::SimHost host;
    Runtime runtime(host);
    host.AddVehicleModel(sim::MakeSedanModel(400));
    CVehicle* car = host.CreateVehicle(400);
    CPed* player = host.CreatePed();
    CPed* npc = host.CreatePed();
    host.SetPlayer(player);
    host.SeatPed(player, car, false);
    host.SeatPed(npc, car, true);
    auto moveElbow = [&](CPed* ped) {
        host.BoneFrameData(ped, 17)->rotation = Quaternion{0, 0, 0.5f, 0.8660254f};
        return host.BoneMatrix(ped, 18)->pos;
    };
    const Vector3 playerBefore = moveElbow(player);
    const Vector3 npcBefore = moveElbow(npc);
    runtime.OnFrame();
    EXPECT_NE(host.BoneMatrix(player, 18)->pos, playerBefore);
    EXPECT_EQ(host.BoneMatrix(npc, 18)->pos, npcBefore);
    runtime.settings().Allow_NPCs = true;
    runtime.OnFrame();
    EXPECT_NE(host.BoneMatrix(npc, 18)->pos, npcBefore);
}

}  // namespace
}  // namespace kovra
