#include "kovra/handles/car/ClutchPedalIk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "AllocationCounter.h"
#include "SimTestSupport.h"
#include "TestMath.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {


using test::SolveLog;

bool RowsAtRest(Host& host, const FrameSlot& slot) {
    const FrameMatrix& m = *host.FrameModelling(slot.frame);
    const FrameMatrix& r = slot.restMatrix;
    return Distance(m.right, r.right) <= 1e-5f && Distance(m.up, r.up) <= 1e-5f &&
           Distance(m.at, r.at) <= 1e-5f && m.pos == r.pos;
}

class ClutchPedalIkTest : public ::testing::Test {
protected:
    void Build(sim::VehicleModel model, bool bike) {
        ASSERT_TRUE(host.AddVehicleModel(model));
        vehicle = host.CreateVehicle(model.id);
        ped = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(ped, vehicle, true));
        rig.isBike = clutch.isBike = bike ? 1 : 0;
        clutch.type = KindCode(HandleKind::ClutchPedal);
        clutch.rig = &rig;
        clutch.vehicle = vehicle;
        clutch.ped = ped;
        ASSERT_TRUE(clutch.FindFrames());
        runtime.settings().muThrottle = 2.0f;
        clutch.rateArm = 0.125f;  // 0.25 a step in a car
    }
    // The clutch levels of `frames` updates.
    std::vector<float> Run(int frames) {
        std::vector<float> levels;
        for (int i = 0; i < frames; ++i) {
            host.AnimatePed(ped);
            clutch.Update();
            levels.push_back(clutch.clutchLevel);
        }
        return levels;
    }

    sim::SimHost host;
    Runtime runtime{host};
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    CabinIk rig{runtime, nullptr};
    ClutchPedalIk clutch{runtime};
};

using Levels = std::vector<float>;

TEST_F(ClutchPedalIkTest, OneStrokePerGearChangeWithoutAGearStick) {
    Build(sim::MakeSedanModel(400), false);
    EXPECT_EQ(Run(2), (Levels{0, 0}));
    rig.audioGear = 2;
    EXPECT_EQ(Run(10), (Levels{0.25f, 0.5f, 0.75f, 1, 0.75f, 0.5f, 0.25f, 0, 0, 0}));
    EXPECT_EQ(clutch.gearSeen, 2);
    rig.audioGear = 3;  // a change during a stroke is taken at the floor
    Run(2);
    rig.audioGear = 4;
    EXPECT_EQ(Run(7), (Levels{0.75f, 1, 0.75f, 0.5f, 0.25f, 0, 0}));
    EXPECT_EQ(clutch.gearSeen, 4);

    // With a gear stick only its shift counts; the gear is not watched.
    GearIk stick{runtime};
    rig.gearIk = &stick;
    rig.audioGear = 1;
    EXPECT_EQ(Run(2), (Levels{0, 0}));
    stick.shifting = true;
    EXPECT_EQ(Run(5), (Levels{0.25f, 0.5f, 0.75f, 1, 1}));
    EXPECT_EQ(clutch.gearSeen, 4);
}

TEST_F(ClutchPedalIkTest, PedalPressedFromRestAndTheFootRolledOnAFlippedPedal) {
    Build(sim::MakeSedanModel(400), false);
    clutch.frameA.flippedZ = true;
    clutch.frameA.unrotated = false;
    rig.audioGear = 1;
    Run(2);  // level 0.5, eased 0.75
    const FrameMatrix& pedal = *host.FrameModelling(clutch.frameA.frame);
    const FrameMatrix& rest = clutch.frameA.restMatrix;
    EXPECT_NEAR(Acos(Dot(pedal.up, rest.up)) * kRadToDeg, 7.5f, 1e-3f);
    EXPECT_GT(Dot(Cross(rest.up, pedal.up), rest.right), 0.0f);
    EXPECT_EQ(pedal.pos, rest.pos);
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, kLeftFootNode), AxisAngle(AxisZ, -7.5f * 1.25f),
                     1e-5f);
}

TEST_F(ClutchPedalIkTest, DegenerateTunablesAndNoAllocation) {
    Build(sim::MakeSedanModel(400), false);
    for (int c = 0; c < 4; ++c) {
        ClutchPedalIk fresh{runtime};
        clutch.CopyFrom(&fresh);
        switch (c) {
            case 0: clutch.rateArm = 0.0f; clutch.maxAngle = clutch.bendAngle = 0.0f; break;
            case 1: clutch.rateArm = kNaN; clutch.maxAngle = kInf; break;
            case 2: clutch.grabOffset = {kNaN, 0, 0}; clutch.endAngles = {kInf, 0, 0}; break;
            case 3: clutch.rateArm = kInf; clutch.bendAngle = kInf; rig.driverBlend = kNaN; break;
        }
        for (int gear : {1, 2, 2, 3}) {
            rig.audioGear = gear;
            const float level = Run(1)[0];
            ASSERT_TRUE(level >= 0.0f && level <= 1.0f) << c;
            ASSERT_TRUE(IsFinite(*host.FrameModelling(clutch.frameA.frame))) << c;
            for (NodeIndex n = 0; n < kNodeCount; ++n) {
                ASSERT_TRUE(IsFinite(*BoneRotationSlot(host, ped, n))) << c << " node " << n;
            }
        }
    }
    rig.driverBlend = 1.0f;
    Run(1);
    test::AllocationCounter allocations;
    for (int gear = 0; gear < 20; ++gear) {
        rig.audioGear = gear / 4;
        host.AnimatePed(ped);
        clutch.Update();
    }
    EXPECT_EQ(allocations.count(), 0u);
}

TEST_F(ClutchPedalIkTest, BikeLeverFollowsTheFootShiftOrItsOwnStroke) {
    Build(sim::MakeMotorbikeModel(461), true);
    BikeShiftIk shift{runtime};
    rig.bikeShiftIk = &shift;
    clutch.maxAngle = 30.0f;
    shift.weight = 0.5f;
    Run(1);
    EXPECT_EQ(clutch.clutchLevel, 0.5f);
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, 13), Quaternion::Identity(), 1e-6f);
    const FrameMatrix& lever = *host.FrameModelling(clutch.frameA.frame);
    const float travel = 30.0f * 0.25f;  // eased in: half the pull, a quarter of the travel
    EXPECT_NEAR(Acos(Dot(lever.right, clutch.frameA.restMatrix.right)) * kRadToDeg, travel, 1e-3f);
    EXPECT_VEC_NEAR(lever.at, clutch.frameA.restMatrix.at, 1e-6f);
    shift.weight = 1.7f;
    EXPECT_EQ(Run(1), (Levels{1}));
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, 13), AxisAngle(AxisZ, 90.0f), 1e-5f);
    shift.weight = -0.2f;
    EXPECT_EQ(Run(1), (Levels{0}));
    EXPECT_TRUE(RowsAtRest(host, clutch.frameA));

    // Without a foot shift: the car's stroke, at RateArm alone.
    rig.bikeShiftIk = nullptr;
    rig.audioGear = 2;
    EXPECT_EQ(Run(3), (Levels{0.125f, 0.25f, 0.375f}));
    EXPECT_EQ(runtime.solver().record(kLeftHandNode).lastEnd, Vector3());  // no solve
}

// The sedan and the motorbike through the game's own loop: every solved foot
// on its target, every pedal, grip and lever back at rest with the inputs.
TEST(PedalsInTheGameLoop, FeetReachTheirPedalsAndControlsComeBackToRest) {
    for (bool bike : {false, true}) {
        sim::SimHost host;
        Runtime runtime(host);
        runtime.settings().Vanilla_Sound_Gearing = false;  // the gear is the host's
        host.AddVehicleModel(bike ? sim::MakeMotorbikeModel(461) : sim::MakeSedanModel(400));
        host.StartGame();
        CVehicle* vehicle = host.CreateVehicle(bike ? 461 : 400);
        CPed* driver = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(driver, vehicle, true));
        host.SetPlayer(driver);
        for (int i = 0; i < 11; ++i) host.RunFrame();
        CabinIk* rig = runtime.rigs().RigOf(vehicle);
        ASSERT_NE(rig, nullptr);
        ASSERT_NE(rig->gasPedalIk, nullptr);
        ASSERT_NE(rig->clutchPedalIk, nullptr);

        SolveLog log;
        runtime.solver().setSolveListener(&log);
        int checked[2] = {0, 0};
        for (int i = 0; i < 400; ++i) {
            const bool inputs = i < 200;
            vehicle->state.gasPedal = inputs && (i / 30) % 2 == 0 ? 1.0f : 0.0f;
            vehicle->state.brakePedal = inputs && (i / 45) % 2 == 1 ? 0.6f : 0.0f;
            vehicle->state.gear = inputs ? 1 + (i / 50) % 4 : 2;
            rig->audioGear = vehicle->state.gear;
            log = SolveLog{};
            host.RunFrame();
            RefreshBoneMatrices(host, driver);
            const NodeIndex feet[2] = {kRightFootNode, kLeftFootNode};
            for (int f = 0; f < 2; ++f) {
                const LimbSolve& s = log.last[feet[f]];
                if (s.ped != driver || s.weight != 1.0f || !s.reached) continue;
                Vector3 ankle;
                ASSERT_TRUE(BonePosition(host, driver, NodeToBoneId(feet[f]), ankle));
                EXPECT_VEC_NEAR(ankle, s.target, 0.002f) << "frame " << i;
                ++checked[f];
            }
        }
        runtime.solver().setSolveListener(nullptr);
        if (!bike) {
            EXPECT_GT(checked[0], 300) << "the right foot was rarely in reach";
            EXPECT_GT(checked[1], 300) << "the left foot was rarely in reach";
        }
        const GasPedalIk& gas = *rig->gasPedalIk;
        EXPECT_EQ(gas.gasLevel, 0.0f);
        EXPECT_EQ(gas.brakeLevel, 0.0f);
        EXPECT_TRUE(RowsAtRest(host, gas.frameA)) << bike;
        EXPECT_TRUE(!gas.frameB.found || RowsAtRest(host, gas.frameB)) << bike;
        EXPECT_EQ(rig->clutchPedalIk->clutchLevel, 0.0f) << bike;
        EXPECT_TRUE(RowsAtRest(host, rig->clutchPedalIk->frameA)) << bike;
    }
}

}  // namespace
}  // namespace kovra
