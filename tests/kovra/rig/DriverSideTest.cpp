#include "kovra/rig/DriverSide.h"

#include <gtest/gtest.h>

#include <cmath>

#include "TestMath.h"
#include "kovra/handles/car/SteerIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

class DriverSideTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.AddVehicleModel(sim::MakeSedanModel(400));
        host.AddVehicleModel(sim::MakeMotorbikeModel(461));
        host.StartGame();
        car = host.CreateVehicle(400);
        driver = host.CreatePed();
        host.SeatPed(driver, car, true);
        for (int i = 0; i < 11; ++i) host.RunFrame();
        rig = runtime.rigs().RigOf(car);
        ASSERT_TRUE(rig->built);
        // The driver fades into the new rig's pose over 20 frames.
        for (int i = 0; i < 20 && rig->driverBlend < 1.0f; ++i) host.RunFrame();
    }

    sim::SimHost host;
    Runtime runtime{host};
    CVehicle* car = nullptr;
    CPed* driver = nullptr;
    CabinIk* rig = nullptr;
};

TEST_F(DriverSideTest, WithoutNpcsOnlyThePlayersVehicleIsPosed) {
    host.SetPlayer(nullptr);
    car->state.steerAngle = 0.4f;
    for (int i = 0; i < 5; ++i) host.RunFrame();
    EXPECT_EQ(rig->steerIk->wheelAngle, 0.0f) << "nobody's vehicle: the host animation stays";

    // The player rides as a passenger: the driver is posed all the same.
    CPed* player = host.CreatePed();
    host.SeatPed(player, car, false);
    host.SetPlayer(player);
    host.RunFrame();
    EXPECT_NE(rig->steerIk->wheelAngle, 0.0f);
    EXPECT_EQ(rig->driver, driver);

    runtime.settings().Allow_NPCs = true;
    CVehicle* other = host.CreateVehicle(400);
    CPed* npc = host.CreatePed();
    host.SeatPed(npc, other, true);
    other->state.steerAngle = 0.4f;
    for (int i = 0; i < 12; ++i) host.RunFrame();
    EXPECT_NE(runtime.rigs().RigOf(other)->steerIk->wheelAngle, 0.0f);
}

TEST_F(DriverSideTest, DriverFadesOutForTheTaskOrTheSuspendFlagAndBackIn) {
    host.SetPlayer(driver);
    EXPECT_EQ(rig->driverBlend, 1.0f);
    host.SetPedTask(driver, TaskSlotKind::Secondary, 3, 1022);
    for (int i = 0; i < 10; ++i) host.RunFrame();
    EXPECT_NEAR(rig->driverBlend, 0.5f, 1e-5f);
    host.SetPedTask(driver, TaskSlotKind::Secondary, 3, -1);
    host.SetIkSuspended(true);
    for (int i = 0; i < 30; ++i) host.RunFrame();
    EXPECT_EQ(rig->driverBlend, 0.0f);
    host.SetIkSuspended(false);
    for (int i = 0; i < 20; ++i) host.RunFrame();
    EXPECT_EQ(rig->driverBlend, 1.0f);
}

// A rig that builds while its driver sits in the vehicle fades him into the
// pose, and a reset lets him go before the handles are dropped: neither
// snaps the whole driver in one frame. The toes a bike rig turns up fade
// with the feet.
TEST_F(DriverSideTest, TheDriverFadesInAtEveryBuildAndOutBeforeAReset) {
    host.SetPlayer(driver);
    host.RunFrame();  // posed once: the rig has a driver to let go of
    ASSERT_EQ(rig->driverBlend, 1.0f);
    rig->Reset();
    EXPECT_TRUE(rig->built);
    EXPECT_TRUE(rig->resetPending);
    EXPECT_NE(rig->steerIk, nullptr) << "the hands stay on the wheel while they let go";
    int frames = 0;
    for (; frames < 30 && rig->built; ++frames) host.RunFrame();
    EXPECT_EQ(frames, 20) << "out at the fade's own rate";
    EXPECT_TRUE(rig->handles.empty());
    EXPECT_FALSE(rig->resetPending);
    for (int i = 0; i < 21; ++i) host.RunFrame();
    ASSERT_TRUE(rig->built);
    EXPECT_NEAR(rig->driverBlend, 0.05f, 1e-6f) << "in again from nothing";

    // A bike: toes turned up only as far as the rider is faded in.
    CVehicle* bike = host.CreateVehicle(461);
    CPed* rider = host.CreatePed();
    host.SeatPed(rider, bike, true);
    host.SetPlayer(rider);
    for (int i = 0; i < 11; ++i) host.RunFrame();
    CabinIk* bikeRig = runtime.rigs().RigOf(bike);
    ASSERT_TRUE(bikeRig->built);
    const Quaternion toesUp = AxisAngle(AxisZ, 90.0f);
    const auto toeTurnLeft = [&] {
        return 1.0f - std::fabs(Dot(*BoneRotationSlot(host, rider, 27), toesUp));
    };
    EXPECT_GT(toeTurnLeft(), 1e-3f);
    for (int i = 0; i < 20; ++i) host.RunFrame();
    EXPECT_EQ(bikeRig->driverBlend, 1.0f);
    EXPECT_LT(toeTurnLeft(), 1e-6f);
}

TEST_F(DriverSideTest, PriorityAnimationHandsTheRightHandBack) {
    runtime.priorities().insert({"CAR_SHUFFLE", host.NameKey("CAR_SHUFFLE"), 1});
    host.AddAnimation(driver, "car_shuffle");
    int framesUntilFalling = 0;
    while (rig->nodeWeights[kRightHandNode] == 1.0f && framesUntilFalling < 100) {
        runtime.OnVehicleProcess(car);
        ++framesUntilFalling;
    }
    EXPECT_LE(framesUntilFalling, 15);
    int framesToZero = 1;
    while (rig->nodeWeights[kRightHandNode] > 0.0f && framesToZero < 100) {
        runtime.OnVehicleProcess(car);
        ++framesToZero;
    }
    EXPECT_EQ(framesToZero, 20);
    EXPECT_EQ(rig->nodeWeights[kLeftHandNode], 1.0f);
    EXPECT_TRUE(rig->leverHandBusy);
    const float lever = rig->leverBlend;
    runtime.OnVehicleProcess(car);
    EXPECT_LT(rig->leverBlend, lever);
}

TEST_F(DriverSideTest, MaskZeroGivesEveryLimbBack) {
    runtime.priorities().insert({"CAR_GETOUT", host.NameKey("CAR_GETOUT"), 0});
    runtime.priorities().insert({"CAR_WAVE", host.NameKey("CAR_WAVE"), 8});
    host.AddAnimation(driver, "CAR_GETOUT");
    for (int i = 0; i < 60; ++i) runtime.OnVehicleProcess(car);
    for (NodeIndex n : {kRightHandNode, kLeftHandNode, NodeIndex{4}, kRightFootNode, kLeftFootNode}) {
        EXPECT_EQ(rig->nodeWeights[n], 0.0f) << n;
    }
    host.RemoveAnimation(driver, "CAR_GETOUT");
    host.AddAnimation(driver, "CAR_WAVE");
    for (int i = 0; i < 60; ++i) runtime.OnVehicleProcess(car);
    EXPECT_EQ(rig->nodeWeights[kRightFootNode], 0.0f);
    EXPECT_EQ(rig->nodeWeights[kRightHandNode], 1.0f);
}

TEST_F(DriverSideTest, HeadFoldsAwayOnlyForACameraInsideIt) {
    host.SetPlayer(driver);
    host.AddLoadedModule("QDRNX.asi");
    runtime.OnFrame();
    for (float distance : {0.31f, 0.29f}) {
        host.AnimatePed(driver);
        const FrameMatrix neck = *BoneWorldMatrix(host, driver, 5);
        host.SetCameraPosition(neck.pos + Vector3{0, distance, 0});
        runtime.driverSide().OnPedHead(driver);
        const FrameMatrix& after = *BoneWorldMatrix(host, driver, 5);
        if (distance > 0.3f) {
            EXPECT_EQ(after.right, neck.right);
        } else {
            EXPECT_EQ(after.right, Vector3{});
            EXPECT_GT(Distance(after.pos, neck.pos), 0.02f);
            EXPECT_TRUE(IsFinite(*BoneWorldMatrix(host, driver, 8)));
        }
    }
}

TEST_F(DriverSideTest, BikeBarFollowsTheSteeringOnlyWhenSlowOrAirborne) {
    CVehicle* bike = host.CreateVehicle(461);
    CPed* rider = host.CreatePed();
    host.SeatPed(rider, bike, true);
    for (int i = 0; i < 11; ++i) host.RunFrame();
    bike->state.barAngle = 0.3f;
    bike->state.leanLimit = 0.5f;
    bike->state.lean = 0.25f;
    bike->state.speed = 0.3f;
    bike->state.wheelsOnGround = 4;
    host.RunFrame();
    // At speed and leaned: half the lean and half the speed range left,
    // faded with the slow-bike blend that rose while the bike stood.
    const float b = runtime.rigs().RigOf(bike)->bikeBlend;
    EXPECT_NEAR(b, 0.10f, 1e-5f);
    EXPECT_NEAR(bike->bike->drawnBarAngle, 0.3f * 0.5f * 0.5f * (1 - b) + 0.3f * b, 1e-5f);
    runtime.settings().SuddenBar_Rotation_Fix = false;
    host.RunFrame();
    EXPECT_EQ(bike->bike->drawnBarAngle, 0.3f);
    runtime.settings().SuddenBar_Rotation_Fix = true;
    bike->state.leanLimit = 0.0f;  // no lean limit: no division by zero
    host.RunFrame();
    EXPECT_TRUE(IsFinite(bike->bike->drawnBarAngle));
}

}  // namespace
}  // namespace kovra
