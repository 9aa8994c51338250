#include "kovra/handles/car/GasPedalIk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "AllocationCounter.h"
#include "SimTestSupport.h"
#include "TestMath.h"
#include "kovra/handles/car/ClutchPedalIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/EaseCurve.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {


using test::SolveLog;

void ExpectRowsAtRest(Host& host, const FrameSlot& slot, const char* what) {
    const FrameMatrix& m = *host.FrameModelling(slot.frame);
    EXPECT_VEC_NEAR(m.right, slot.restMatrix.right, 1e-5f) << what;
    EXPECT_VEC_NEAR(m.up, slot.restMatrix.up, 1e-5f) << what;
    EXPECT_VEC_NEAR(m.at, slot.restMatrix.at, 1e-5f) << what;
    EXPECT_EQ(m.pos, slot.restMatrix.pos) << what;
}

class GasPedalIkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(sim::MakeSedanModel(400)));
        vehicle = host.CreateVehicle(400);
        ped = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(ped, vehicle, true));
        host.SetTimeStep(1.0f);
        gas.type = KindCode(HandleKind::GasPedal);
        gas.rig = &rig;
        gas.vehicle = vehicle;
        gas.ped = ped;
        ASSERT_TRUE(gas.FindFrames());
        ASSERT_TRUE(gas.frameB.found);
        runtime.solver().setSolveListener(&log);
    }
    void TearDown() override { runtime.solver().setSolveListener(nullptr); }

    void Frame(float gasInput, float brakeInput) {
        vehicle->state.gasPedal = gasInput;
        vehicle->state.brakePedal = brakeInput;
        host.AnimatePed(ped);
        gas.Update();
    }
    Vector3 Target(const FrameSlot& slot, const Vector3& offset) {
        return TransformPoint(offset, *host.FrameWorld(slot.frame));
    }

    sim::SimHost host;
    Runtime runtime{host};
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    CabinIk rig{runtime, nullptr};
    GasPedalIk gas{runtime};
    SolveLog log;
};

TEST_F(GasPedalIkTest, PressLevelsFollowInputsAndTheFootSwitchKeepsItsOwnRate) {
    for (float rate : {0.2f, 0.01f}) {
        gas.rateArm = rate;
        gas.gasLevel = gas.brakeLevel = 0.0f;
        gas.footSwitch = 1.0f;
        for (int i = 1; i <= 3; ++i) {
            Frame(0.0f, 1.0f);
            EXPECT_FLOAT_EQ(gas.brakeLevel, rate * float(i));
            EXPECT_FLOAT_EQ(gas.footSwitch, 1.0f - 0.075f * float(i)) << rate;
        }
        EXPECT_EQ(gas.gasLevel, 0.0f);
    }
    runtime.settings().muPedalSwitch = 2.0f;
    runtime.settings().muThrottle = 0.5f;
    gas.rateArm = 0.2f;
    Frame(-0.5f, 0.0f);  // reversing presses the gas too
    EXPECT_FLOAT_EQ(gas.gasLevel, 0.1f);
    EXPECT_FLOAT_EQ(gas.footSwitch, 0.775f + 0.15f);
    Frame(1.0f, 0.0f);
    EXPECT_EQ(gas.footSwitch, 1.0f);
    for (int i = 0; i < 20; ++i) Frame(1.0f, 0.0f);
    EXPECT_EQ(gas.gasLevel, 1.0f);
    EXPECT_EQ(gas.brakeLevel, 0.0f);

    // The foot leaves the gas while the clutch is down or the stick moves.
    ClutchPedalIk clutch{runtime};
    GearIk stick{runtime};
    rig.clutchPedalIk = &clutch;
    clutch.clutchLevel = 0.01f;
    Frame(1.0f, 0.0f);
    EXPECT_FLOAT_EQ(gas.gasLevel, 0.9f);
    clutch.clutchLevel = 0.0f;
    rig.gearIk = &stick;
    stick.shifting = true;
    Frame(1.0f, 0.0f);
    EXPECT_FLOAT_EQ(gas.gasLevel, 0.8f);
    stick.shifting = false;
    Frame(1.0f, 0.0f);
    EXPECT_FLOAT_EQ(gas.gasLevel, 0.9f);
}

TEST_F(GasPedalIkTest, FootTargetMovesFromTheGasToTheBrakePedal) {
    gas.rateArm = 1.0f;
    Frame(1.0f, 0.0f);
    EXPECT_VEC_NEAR(log.last[kRightFootNode].target, Target(gas.frameA, gas.grabOffset), 1e-6f);
    EXPECT_EQ(log.last[kRightFootNode].weight, 1.0f);
    EXPECT_TRUE(gas.appliedThisFrame);
    for (int i = 0; i < 5; ++i) Frame(0.0f, 1.0f);  // half way: switch 0.625
    const float m = EaseInOutQuad(gas.footSwitch);
    EXPECT_VEC_NEAR(log.last[kRightFootNode].target,
                    Lerp(Target(gas.frameB, gas.secondOffset), Target(gas.frameA, gas.grabOffset), m),
                    1e-6f);
    for (int i = 0; i < 10; ++i) Frame(0.0f, 1.0f);
    EXPECT_VEC_NEAR(log.last[kRightFootNode].target, Target(gas.frameB, gas.secondOffset), 1e-6f);

    // A fully pressed brake pedal is turned MaxAngle about its own X.
    const FrameMatrix& brake = *host.FrameModelling(gas.frameB.frame);
    const FrameMatrix& rest = gas.frameB.restMatrix;
    EXPECT_NEAR(Acos(Dot(brake.up, rest.up)) * kRadToDeg, 10.0f, 1e-3f);
    EXPECT_GT(Dot(Cross(rest.up, brake.up), rest.right), 0.0f);
    EXPECT_VEC_NEAR(brake.right, rest.right, 1e-6f);
    ExpectRowsAtRest(host, gas.frameA, "gas released");
}

TEST_F(GasPedalIkTest, ToeTurnOnFlippedPedals) {
    // A pedal hung upside down rolls the foot back by 1.25 of its travel.
    gas.frameA.flippedZ = gas.frameB.flippedZ = true;
    gas.frameA.unrotated = gas.frameB.unrotated = false;
    gas.rateArm = 0.5f;
    Frame(1.0f, 1.0f);  // both pressed half way: eased 0.75
    const float toe = 2.0f * 10.0f * 0.75f * 1.25f;
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, kRightFootNode), AxisAngle(AxisZ, -toe), 1e-5f);
    gas.frameA.unrotated = true;  // a frame at the model's own axes is not flipped
    Frame(1.0f, 1.0f);
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, kRightFootNode), AxisAngle(AxisZ, -12.5f), 1e-5f);
}

TEST_F(GasPedalIkTest, DegenerateTunablesMissingBrakeAndNoAllocation) {
    for (int c = 0; c < 6; ++c) {
        GasPedalIk fresh{runtime};
        gas.CopyFrom(&fresh);
        runtime.settings() = GlobalSettings{};
        switch (c) {
            case 0: gas.rateArm = 0.0f; runtime.settings().muPedalSwitch = 0.0f; break;
            case 1: gas.maxAngle = gas.bendAngle = 0.0f; gas.endAngles = {}; break;
            case 2: gas.rateArm = kNaN; gas.maxAngle = kInf; gas.bendAngle = kNaN; break;
            case 3: gas.grabOffset = {kInf, 0.0f, kNaN}; gas.endAngles = {kNaN, kInf, 1e30f}; break;
            case 4: runtime.settings().muThrottle = kInf; runtime.settings().muPedalSwitch = kNaN; break;
            case 5: rig.driverBlend = kNaN; break;
        }
        for (float input : {0.0f, 1.0f, kNaN, -1.0f}) {
            Frame(input, input);
            for (NodeIndex n = 0; n < kNodeCount; ++n) {
                ASSERT_TRUE(IsFinite(*BoneRotationSlot(host, ped, n))) << c << " node " << n;
            }
            ASSERT_TRUE(IsFinite(*host.FrameModelling(gas.frameA.frame))) << c;
            ASSERT_TRUE(IsFinite(*host.FrameModelling(gas.frameB.frame))) << c;
            ASSERT_TRUE(gas.gasLevel >= 0 && gas.gasLevel <= 1 && gas.footSwitch >= 0 &&
                        gas.footSwitch <= 1) << c;
        }
    }

    rig.driverBlend = 1.0f;
    gas.frameB.Clear();  // a model without "ik_brake": the foot stays on the gas
    gas.footSwitch = 0.0f;
    Frame(1.0f, 1.0f);
    EXPECT_EQ(gas.footSwitch, 1.0f);
    EXPECT_VEC_NEAR(log.last[kRightFootNode].target, Target(gas.frameA, gas.grabOffset), 1e-6f);

    test::AllocationCounter allocations;
    for (int i = 0; i < 5; ++i) Frame(float(i % 2), 1.0f - float(i % 2));
    EXPECT_EQ(allocations.count(), 0u);
}

// Closed on the grip and on the pulled lever, open half way, and never
// faster than a lever stroke at the default rate can show smoothly: the
// fingers turned up to 34 degrees a frame on a steeper curve.
TEST(GasPedalIkBike, FingerCurlOpensAndClosesWithoutSnapping) {
    EXPECT_NEAR(pedal::FingerCurl(0.0f), 90.0f, 1e-4f);
    EXPECT_NEAR(pedal::FingerCurl(1.0f), 90.0f, 1e-4f);
    EXPECT_NEAR(pedal::FingerCurl(0.5f), 0.0f, 1e-4f);
    constexpr float kStep = 0.075f;  // RateArm a frame
    float worst = 0.0f;
    for (float level = 0.0f; level + kStep <= 1.0f; level += 0.005f) {
        worst = std::max(worst, std::fabs(pedal::FingerCurl(level + kStep) - pedal::FingerCurl(level)));
    }
    EXPECT_LT(worst, 22.0f);
    // The lever leaves its rest at a finite speed and ends at full travel.
    EXPECT_EQ(pedal::EaseIn(0.0f), 0.0f);
    EXPECT_EQ(pedal::EaseIn(1.0f), 1.0f);
    EXPECT_LT(pedal::EaseIn(kStep), 2.0f * kStep);
    EXPECT_LT(1.0f - pedal::EaseIn(1.0f - kStep), 2.0f * kStep + 1e-6f);
}

TEST(GasPedalIkBike, GripTwistLeverAndFingers) {
    sim::SimHost host;
    Runtime runtime{host};
    ASSERT_TRUE(host.AddVehicleModel(sim::MakeMotorbikeModel(461)));
    CVehicle* bike = host.CreateVehicle(461);
    CPed* rider = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(rider, bike, true));
    CabinIk rig{runtime, bike};
    rig.isBike = 1;
    GasPedalIk gas{runtime};
    gas.type = KindCode(HandleKind::GasPedal);
    gas.isBike = 1;
    gas.rig = &rig;
    gas.vehicle = bike;
    gas.ped = rider;
    ASSERT_TRUE(gas.FindFrames());
    static constexpr const char* kLever[] = {"ik_bike_rbrake"};  // stands in for a front lever
    ASSERT_TRUE(gas.LocateFrame(gas.frameB, kLever, gas.secondOffset));

    gas.rateArm = 0.0f;  // levels held where the test puts them
    const auto frame = [&](float gasLevel, float brakeLevel) {
        gas.gasLevel = gasLevel;
        gas.brakeLevel = brakeLevel;
        host.AnimatePed(rider);
        gas.Update();
    };
    const Quaternion animatedHand = *BoneRotationSlot(host, rider, kRightHandNode);
    frame(0.5f, 0.5f);
    EXPECT_FLOAT_EQ(gas.easedGas, 0.75f);
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, rider, 19), Quaternion::Identity(), 1e-6f);
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, rider, kRightHandNode),
                     Multiply(animatedHand, AxisAngle(AxisZ, -45.0f * 0.75f)), 1e-5f);
    const FrameMatrix& grip = *host.FrameModelling(gas.frameA.frame);
    EXPECT_NEAR(Acos(Dot(grip.up, gas.frameA.restMatrix.up)) * kRadToDeg, 33.75f, 1e-3f);
    const FrameMatrix& lever = *host.FrameModelling(gas.frameB.frame);
    const float travel = 30.0f * 0.25f;  // eased in: half the pull, a quarter of the travel
    EXPECT_NEAR(Acos(Dot(lever.right, gas.frameB.restMatrix.right)) * kRadToDeg, travel, 1e-3f);
    EXPECT_VEC_NEAR(lever.at, gas.frameB.restMatrix.at, 1e-6f);  // about its own Z
    for (float level : {0.0f, 1.0f}) {
        frame(0.0f, level);
        EXPECT_QUAT_NEAR(*BoneRotationSlot(host, rider, 19), AxisAngle(AxisZ, 90.0f), 1e-5f);
    }
    EXPECT_EQ(runtime.solver().record(kRightHandNode).lastEnd, Vector3());  // no solve
    frame(0.0f, 0.0f);
    ExpectRowsAtRest(host, gas.frameA, "grip");
    ExpectRowsAtRest(host, gas.frameB, "lever");
}

}  // namespace
}  // namespace kovra
