#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra::sim {
namespace {

using E = HostEvent;

// A game with the sedan (400) and the motorbike (461), started, in which
// the plugin poses every driver, not only the player.
void StartWithSedanAndMotorbike(SimHost& host, Runtime& runtime) {
    host.AddVehicleModel(MakeSedanModel(400));
    host.AddVehicleModel(MakeMotorbikeModel(461));
    host.StartGame();
    runtime.settings().Allow_NPCs = true;
}

// One frame of a car with its driver and a motorbike with its rider, as the
// game raises its events.
TEST(FrameLoop, EventsComeInTheGamesOrder) {
    SimHost host;
    Runtime runtime(host);  // hooks every event, so all of them are raised to someone
    host.AddVehicleModel(MakeSedanModel(400));
    host.AddVehicleModel(MakeMotorbikeModel(461));
    host.StartGame();
    CVehicle* car = host.CreateVehicle(400);
    CVehicle* bike = host.CreateVehicle(461);
    CPed* driver = host.CreatePed();
    CPed* rider = host.CreatePed();
    host.SeatPed(driver, car, true);
    host.SeatPed(rider, bike, true);
    host.recordEvents = true;
    host.RunFrame();

    struct Step {
        E event;
        bool after;
        const void* subject;
    };
    const std::vector<Step> expected = {
        {E::Frame, false, nullptr},          {E::Frame, true, nullptr},
        {E::VehicleProcess, false, car},     {E::VehicleProcess, true, car},
        {E::VehicleProcess, false, bike},    {E::VehicleProcess, true, bike},
        {E::BikeProcess, false, bike->bike.get()}, {E::BikeProcess, true, bike->bike.get()},
        {E::VehicleAudioGear, false, &car->audioParams}, {E::VehicleAudioGear, true, &car->audioParams},
        {E::VehicleAudioGear, false, &bike->audioParams}, {E::VehicleAudioGear, true, &bike->audioParams},
        {E::SeatPlacement, false, driver},   {E::SeatPlacement, true, driver},
        {E::PedIk, false, driver},           {E::PedIk, true, driver},
        {E::PedHead, false, driver},         {E::PedHead, true, driver},
        {E::SeatPlacement, false, rider},    {E::SeatPlacement, true, rider},
        {E::PedIk, false, rider},            {E::PedIk, true, rider},
        {E::PedHead, false, rider},          {E::PedHead, true, rider},
        {E::VehicleFrameEnd, false, car},    {E::VehicleFrameEnd, true, car},
        {E::VehicleFrameEnd, false, bike},   {E::VehicleFrameEnd, true, bike},
        {E::OverlayB, false, nullptr},       {E::OverlayB, true, nullptr},
    };
    ASSERT_EQ(host.raisedEvents.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(host.raisedEvents[i].event, expected[i].event) << "step " << i;
        EXPECT_EQ(host.raisedEvents[i].after, expected[i].after) << "step " << i;
        EXPECT_EQ(host.raisedEvents[i].subject, expected[i].subject) << "step " << i;
    }
}

// Once the rigs are built, a frame of the game with every driver posed
// allocates nothing, however long the run: the script calls the steering
// makes every frame are counted, and only the first few kept.
TEST(FrameLoop, ALongRunAllocatesNothingAndKeepsItsScriptLogShort) {
    SimHost host;
    Runtime runtime(host);
    StartWithSedanAndMotorbike(host, runtime);
    for (int id : {400, 461, 400}) {
        CVehicle* vehicle = host.CreateVehicle(id);
        host.SeatPed(host.CreatePed(), vehicle, true);
        vehicle->state.gasPedal = 0.5f;
        vehicle->state.gear = 1;
    }
    for (int i = 0; i < 40; ++i) host.RunFrame();
    host.ClearRecords();
    {
        test::AllocationCounter allocations;
        for (int i = 0; i < 200; ++i) host.RunFrame();
        EXPECT_EQ(allocations.count(), 0u);
    }
    EXPECT_EQ(host.scriptCallCount, 2 * 200);  // the two cars' steering
    EXPECT_EQ(host.scriptCalls.size(), SimHost::kScriptCallsKept);
    host.ClearRecords();
    EXPECT_EQ(host.scriptCallCount, 0);
    EXPECT_TRUE(host.scriptCalls.empty());
}

// A sink that takes its own hooks out while the game raises the event.
struct LeavingSink : HookSink {
    SimHost* host = nullptr;
    int calls = 0;
    void Before(HostEvent event, const HostEventArgs&) override {
        ++calls;
        host->RemoveHooks(event, *this);
    }
    void After(HostEvent, const HostEventArgs&) override {}
};

// The game draws a posed driver from matrices that follow every rotation the
// plugin wrote (the last writes of a turn included), and is asked for a few
// refreshes a driver, not one or two per limb.
TEST(FrameLoop, DriversAreDrawnRefreshedWithFewRefreshes) {
    struct CountingHost : SimHost {
        void UpdateSkeleton(CPed* ped) override {
            ++refreshes;
            SimHost::UpdateSkeleton(ped);
        }
        int refreshes = 0;
    };
    for (const int model : {400, 461}) {
        CountingHost host;
        Runtime runtime(host);
        StartWithSedanAndMotorbike(host, runtime);
        CVehicle* vehicle = host.CreateVehicle(model);
        CPed* ped = host.CreatePed();
        host.SeatPed(ped, vehicle, true);
        for (int i = 0; i < 120; ++i) {
            vehicle->state.gasPedal = 0.5f;
            vehicle->state.brakePedal = i % 40 < 20 ? 0.0f : 0.7f;
            vehicle->state.lean = 0.02f * static_cast<float>(i % 20);
            vehicle->state.steerAngle = 0.01f * static_cast<float>(i % 30);
            vehicle->state.gear = 1 + (i / 30) % 3;
            host.refreshes = 0;
            host.RunFrame();
            if (i < 60) continue;  // rig built, fades settled
            // The game's own at the start of the frame; then only before reads
            // below fresh writes the plugin has not worked out itself (the
            // neck or the arms after the spine) and one at the end of the turn.
            EXPECT_LE(host.refreshes, 4) << "model " << model << " frame " << i;
            std::array<FrameMatrix, kNodeCount> drawn;
            for (int node = 0; node < kNodeCount; ++node) drawn[node] = *host.BoneMatrix(ped, node);
            host.UpdateSkeleton(ped);
            for (int node = 0; node < kNodeCount; ++node) {
                EXPECT_EQ(std::memcmp(&drawn[node], host.BoneMatrix(ped, node), sizeof(FrameMatrix)), 0)
                    << "model " << model << " frame " << i << " node " << node;
            }
        }
    }
}

TEST(FrameLoop, HookChainsAreBoundedAndASinkMayLeaveWhileRaised) {
    SimHost host;
    std::vector<LeavingSink> sinks(SimHost::kMaxHookSinks + 1);
    for (LeavingSink& sink : sinks) sink.host = &host;
    for (std::size_t i = 0; i < SimHost::kMaxHookSinks; ++i) {
        EXPECT_TRUE(host.InstallHooks(E::Frame, sinks[i])) << i;
    }
    EXPECT_FALSE(host.InstallHooks(E::Frame, sinks.back())) << "the chain is full";
    host.Raise(E::Frame, {});
    for (std::size_t i = 0; i < SimHost::kMaxHookSinks; ++i) EXPECT_EQ(sinks[i].calls, 1) << i;
    EXPECT_EQ(host.HookCount(E::Frame), 0);
    EXPECT_TRUE(host.InstallHooks(E::Frame, sinks.back()));
}

TEST(FrameLoop, VehicleLifetimeReachesTheExtensionSlot) {
    SimHost host;
    Runtime runtime(host);
    host.AddVehicleModel(MakeSedanModel(400));
    host.StartGame();
    CVehicle* car = host.CreateVehicle(400);
    ASSERT_NE(runtime.rigs().RigOf(car), nullptr);
    host.DestroyVehicle(car);
    EXPECT_EQ(runtime.rigs().RigOf(car), nullptr);
    // The slot's next vehicle gets a fresh rig.
    CVehicle* next = host.CreateVehicle(400);
    ASSERT_NE(runtime.rigs().RigOf(next), nullptr);
    EXPECT_FALSE(runtime.rigs().RigOf(next)->built);
}

TEST(FrameLoop, AudioSignalsAGearChangeOnlyGoingUp) {
    SimHost host;
    host.AddVehicleModel(MakeSedanModel(400));
    CVehicle* car = host.CreateVehicle(400);
    const auto frameWithGear = [&](int gear) {
        car->state.gear = gear;
        host.RunFrame();
        return (car->state.audioFlags & kAudioGearChangeBit) != 0;
    };
    EXPECT_FALSE(frameWithGear(1));  // pulling away is no change of engine note
    EXPECT_TRUE(frameWithGear(2));
    EXPECT_FALSE(frameWithGear(2));
    EXPECT_TRUE(frameWithGear(3));
    EXPECT_FALSE(frameWithGear(2));
    EXPECT_FALSE(frameWithGear(0));
}

}  // namespace
}  // namespace kovra::sim
