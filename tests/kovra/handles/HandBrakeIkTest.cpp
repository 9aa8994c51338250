#include "kovra/handles/car/HandBrakeIk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "AllocationCounter.h"
#include "TestMath.h"
#include "kovra/handles/bike/PegIk.h"
#include "kovra/handles/car/GearIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {


// The lever angle the handle should show at a lever level.
float LeverCurve(float level, float minAngle, float maxAngle) {
    const float e = (level - 1.0f) * (level - 1.0f) * (level - 1.0f) + 1.0f;
    return (1.0f - e) * minAngle + e * maxAngle;
}

// A driver in a vehicle of the built-in models, run through the game's loop.
class HandBrakeIkTest : public ::testing::Test {
protected:
    void Start(sim::VehicleModel model) {
        const int id = model.id;
        ASSERT_TRUE(host.AddVehicleModel(std::move(model)));
        if (host.FrameCount() == 0) host.StartGame();
        FrameMatrix at;
        RotateFrame(at, AxisZ, -25.0f, Combine::Replace);  // not aligned with the world
        at.pos = {3.0f, 7.0f, 0.5f};
        vehicle = host.CreateVehicle(id, at);
        if (ped == nullptr) ped = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(ped, vehicle, true));
        ASSERT_TRUE(host.SetPlayer(ped));
        for (int i = 0; i < 11; ++i) host.RunFrame();
        rig = runtime.rigs().RigOf(vehicle);
        ASSERT_NE(rig, nullptr);
        ASSERT_TRUE(rig->built);
        // The driver fades into the new rig's pose first.
        while (rig->driverBlend < 1.0f) host.RunFrame();
        // A car's gear hand first puts the stick where the simulated gear is
        // (reverse for the host's gear 0) and lets go again; until then the
        // dispatch keeps the hand brake waiting.
        for (int i = 0; i < 200 && rig->gearIk != nullptr &&
                        (rig->gearIk->shifting || rig->gearIk->weight > 0.0f);
             ++i) {
            host.RunFrame();
        }
        brake = rig->handBrakeIk;
        ASSERT_NE(brake, nullptr);
        ASSERT_NE(brake->frameA.frame, nullptr);
    }

    void Frame(bool pulled) {
        vehicle->state.handBrake = pulled;
        host.RunFrame();
        RefreshBoneMatrices(host, ped);  // the skeleton's own kinematics
    }

    Vector3 Bone(BoneId bone) {
        Vector3 p;
        EXPECT_TRUE(BonePosition(host, ped, bone, p));
        return p;
    }
    const FrameMatrix& Lever() { return *host.FrameModelling(brake->frameA.frame); }
    Vector3 Contact() {
        return TransformPoint(brake->grabOffset, *host.FrameWorld(brake->frameA.frame));
    }

    void ExpectFinitePose(const std::string& what) {
        for (NodeIndex n = 0; n < kNodeCount; ++n) {
            ASSERT_TRUE(IsFinite(*BoneRotationSlot(host, ped, n))) << what << " node " << n;
        }
        ASSERT_TRUE(IsFinite(Lever())) << what;
        ASSERT_TRUE(IsFinite(brake->weight) && IsFinite(brake->leverLevel)) << what;
        ASSERT_TRUE(IsFinite(brake->leverAngle)) << what;
    }

    sim::SimHost host;
    Runtime runtime{host};
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    CabinIk* rig = nullptr;
    HandBrakeIk* brake = nullptr;
};

TEST_F(HandBrakeIkTest, PullRaisesTheLeverAndTheHandStaysUntilItIsDown) {
    Start(sim::MakeSedanModel(400));
    ASSERT_FALSE(rig->frontSeatXNegative);  // a left-hand drive: the right hand pulls
    const FrameMatrix rest = brake->frameA.restMatrix;

    int frames = 0;
    for (; brake->weight < 1.0f && frames < 30; ++frames) {
        Frame(true);
        if (brake->weight < 1.0f) {
            EXPECT_EQ(brake->leverLevel, 0.0f) << "the lever waits for the hand";
        }
        EXPECT_TRUE(rig->leverHandBusy);
    }
    EXPECT_EQ(frames, 14);  // 0.075 a frame, clamped at 1

    // The lever rises along the eased curve while the hand holds it.
    for (int i = 0; i < 20; ++i) {
        Frame(true);
        EXPECT_NEAR(brake->leverAngle, LeverCurve(brake->leverLevel, 0.0f, 30.0f), 1e-4f);
        FrameMatrix expected = rest;
        RotateFrame(expected, AxisX, brake->leverAngle, Combine::Local);
        EXPECT_VEC_NEAR(Lever().up, expected.up, 1e-5f);
        EXPECT_VEC_NEAR(Lever().at, expected.at, 1e-5f);
        EXPECT_EQ(Lever().pos, rest.pos);
        EXPECT_VEC_NEAR(Bone(24), Contact(), 0.002f) << "frame " << i;
    }
    EXPECT_EQ(brake->leverLevel, 1.0f);
    EXPECT_FLOAT_EQ(brake->leverAngle, 30.0f);

    // Released: the lever falls first, the hand stays on it.
    for (int i = 0; brake->leverLevel > 0.0f && i < 30; ++i) {
        Frame(false);
        EXPECT_EQ(brake->weight, 1.0f);
        EXPECT_VEC_NEAR(Bone(24), Contact(), 0.002f) << "frame " << i;
    }
    ASSERT_EQ(brake->leverLevel, 0.0f);
    Frame(false);
    EXPECT_FLOAT_EQ(brake->weight, 1.0f - 0.075f);
    for (int i = 0; i < 20; ++i) Frame(false);
    EXPECT_EQ(brake->weight, 0.0f);
    EXPECT_FALSE(brake->appliedThisFrame);

    // A pull released before the hand arrives sends it straight back.
    for (int i = 0; i < 5; ++i) Frame(true);
    Frame(false);
    EXPECT_FLOAT_EQ(brake->weight, 4.0f * 0.075f);
    EXPECT_EQ(brake->leverLevel, 0.0f);
}

TEST_F(HandBrakeIkTest, LeverIsBackAtRestAfterManyPulls) {
    Start(sim::MakeSedanModel(400));
    const FrameMatrix rest = brake->frameA.restMatrix;
    for (int pull = 0; pull < 6; ++pull) {
        for (int i = 0; i < 14 + 3 * pull; ++i) Frame(true);  // partial and full pulls
        for (int i = 0; i < 60; ++i) Frame(false);
    }
    ASSERT_EQ(brake->weight, 0.0f);
    ASSERT_EQ(brake->leverLevel, 0.0f);
    EXPECT_VEC_NEAR(Lever().right, rest.right, 1e-5f);
    EXPECT_VEC_NEAR(Lever().up, rest.up, 1e-5f);
    EXPECT_VEC_NEAR(Lever().at, rest.at, 1e-5f);
    EXPECT_EQ(Lever().pos, rest.pos);
}

TEST_F(HandBrakeIkTest, RightHandDriveUsesTheLeftHandMirrored) {
    sim::VehicleModel model = sim::MakeSedanModel(400);
    model.frontSeat.x = -model.frontSeat.x;  // the driver sits on the right
    Start(model);
    ASSERT_TRUE(rig->frontSeatXNegative);
    for (int i = 0; i < 20; ++i) Frame(true);
    EXPECT_VEC_NEAR(Bone(34), Contact(), 0.002f);
    Quaternion q;
    RotateQuaternion(q, AxisX, -brake->endAngles.x, Combine::Replace);
    RotateQuaternion(q, AxisY, brake->endAngles.y, Combine::Local);
    RotateQuaternion(q, AxisZ, brake->endAngles.z, Combine::Local);
    EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, kLeftHandNode), q, 1e-5f);
}

TEST_F(HandBrakeIkTest, HandSlippedOffARaisedLeverComesBackToLowerIt) {
    Start(sim::MakeSedanModel(400));
    for (int i = 0; i < 20; ++i) Frame(true);
    ASSERT_GT(brake->leverLevel, 0.0f);
    rig->nodeWeights[kRightHandNode] = 0.5f;  // an animation takes half the arm
    Frame(false);
    ASSERT_LT(brake->weight, 1.0f);
    rig->nodeWeights[kRightHandNode] = 1.0f;
    for (int i = 0; i < 60; ++i) Frame(false);
    EXPECT_EQ(brake->leverLevel, 0.0f);
    EXPECT_EQ(brake->weight, 0.0f);
}

TEST_F(HandBrakeIkTest, BikeRightFootPressesTheRearBrakePedal) {
    Start(sim::MakeMotorbikeModel(461));
    ASSERT_NE(rig->pegIk, nullptr);
    const FrameMatrix rest = brake->frameA.restMatrix;
    // The foot's place on the pedal at rest, carried round as it goes down.
    const auto pedalTarget = [&] {
        const FrameMatrix& body = *host.FrameWorld(host.BikeBodyFrame(vehicle));
        return IkHandle::TurnedWithControl(TransformPoint(brake->grabOffset + rig->pegIk->grabOffset, body),
                                           *host.FrameWorld(brake->frameA.frame), brake->leverAngle);
    };
    const auto footAim = [&] {
        const FrameMatrix& pedal = *host.FrameWorld(brake->frameA.frame);
        return NormalizedCopy(TransformPoint({brake->footTurn, 0.5f, brake->FootHeight}, pedal) -
                              pedal.pos);
    };
    for (int i = 0; i < 40; ++i) Frame(true);
    ASSERT_EQ(brake->weight, 1.0f);
    EXPECT_VEC_NEAR(Bone(53), pedalTarget(), 0.002f);
    EXPECT_VEC_NEAR(host.BoneMatrix(ped, BoneIdToNode(53))->up, footAim(), 1e-4f);
    // The pedal goes down: the lever curve with its top negated.
    EXPECT_FLOAT_EQ(brake->leverAngle, -30.0f);
    FrameMatrix pressed = rest;
    RotateFrame(pressed, AxisX, -30.0f, Combine::Local);
    EXPECT_VEC_NEAR(Lever().at, pressed.at, 1e-5f);

    vehicle->state.lean = -0.8f;  // leaning the other way changes nothing
    Frame(true);
    EXPECT_VEC_NEAR(Bone(53), pedalTarget(), 0.002f);
    vehicle->state.lean = 1.0f;  // leaning hard its way, the foot lets go
    Frame(true);
    EXPECT_GT(Distance(Bone(53), pedalTarget()), 0.01f);

    // With no offset the foot stays on its peg and is only turned to the pedal.
    vehicle->state.lean = 0.0f;
    brake->grabOffset = {};
    rig->pegIk->grabOffset.y += 0.05f;
    Frame(true);
    const FrameMatrix& body = *host.FrameWorld(host.BikeBodyFrame(vehicle));
    EXPECT_VEC_NEAR(Bone(53), TransformPoint(rig->pegIk->grabOffset, body), 0.002f);
    EXPECT_VEC_NEAR(host.BoneMatrix(ped, BoneIdToNode(53))->up, footAim(), 1e-4f);
}

TEST_F(HandBrakeIkTest, DegenerateTunablesNeverReachABoneOrTheLever) {
    for (int model : {400, 461}) {
        if (model == 400) {
            Start(sim::MakeSedanModel(400));
        } else {
            host.DestroyVehicle(vehicle);
            Start(sim::MakeMotorbikeModel(461));
        }
        for (int c = 0; c < 10; ++c) {
            HandBrakeIk fresh{runtime};  // defaults, but this vehicle's kind and contact
            fresh.type = brake->type;
            fresh.isBike = brake->isBike;
            fresh.grabOffset = brake->grabOffset;
            brake->CopyFrom(&fresh);
            host.SetTimeStep(c == 6 ? 0.0f : 1.0f);
            vehicle->state.lean = c == 9 ? kNaN : 0.0f;
            if (c == 0) brake->rateArm = 0.0f;
            if (c == 1) brake->minAngle = brake->maxAngle = 12.0f;
            if (c == 2) brake->rateArm = kNaN;
            if (c == 3) brake->maxAngle = kInf;
            if (c == 3) brake->minAngle = kNaN;
            if (c == 4) brake->grabOffset = {kNaN, 1e30f, kInf};
            if (c == 5) brake->endAngles = {kNaN, kInf, 0.0f};
            if (c == 7) brake->rateArm = 1e30f;
            if (c == 8) brake->footTurn = kNaN;
            if (c == 8) brake->FootHeight = kInf;
            if (c == 9) brake->footTurn = brake->FootHeight = 0.0f;  // aimed along the pedal
            for (int i = 0; i < 20; ++i) Frame(i < 15);
            ExpectFinitePose("model " + std::to_string(model) + " case " + std::to_string(c));
            if (c == 0 || c == 6) {
                EXPECT_EQ(brake->weight, 0.0f) << model;
            }
            if (c == 1) {
                EXPECT_FLOAT_EQ(brake->leverAngle, 12.0f) << model;  // back at rest
            }
        }
    }
}

TEST_F(HandBrakeIkTest, DebugLinesOnlyWhenSwitchedOnAndNoAllocation) {
    Start(sim::MakeSedanModel(400));
    for (int i = 0; i < 20; ++i) Frame(true);
    {
        test::AllocationCounter allocations;
        for (int i = 0; i < 5; ++i) {
            rig->nodeOffsets.fill(Vector3{});
            brake->Update();
        }
        EXPECT_EQ(allocations.count(), 0u);
    }
    EXPECT_TRUE(brake->appliedThisFrame);
    EXPECT_TRUE(runtime.debug().segments().empty());

    runtime.debug().enabled = true;
    runtime.debug().Clear();
    brake->Update();
    int yellowSegments = 0, greenSegments = 0, yellowQuads = 0;
    for (const DebugSegment& s : runtime.debug().segments()) {
        yellowSegments += s.colourA.Packed() == 0xff00ffffu;
        greenSegments += s.colourA.Packed() == kDebugGreen;
    }
    for (const DebugQuad& q : runtime.debug().quads()) {
        yellowQuads += q.colour.Packed() == 0xff00ffffu;
    }
    EXPECT_EQ(yellowSegments, 1);  // the bend
    EXPECT_EQ(greenSegments, 1);   // the roof
    EXPECT_EQ(yellowQuads, 6);     // the contact point
}

}  // namespace
}  // namespace kovra
