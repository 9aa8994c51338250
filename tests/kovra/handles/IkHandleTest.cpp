#include "kovra/handles/car/IkHandle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestMath.h"
#include "kovra/handles/HandleTestSupport.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"

namespace kovra {
namespace {

class IkHandleSteps : public test::HandleTest {
protected:
    void SetUp() override {
        vehicle = MakeVehicle(kVehicleTypeCar, 0, 400);
        ASSERT_NE(vehicle, nullptr);
        FrameMatrix* body = host.VehicleMatrix(vehicle);
        RotateFrame(*body, AxisZ, 30.0f, Combine::Replace);
        body->pos = {10.0f, -4.0f, 1.0f};
        ped = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(ped, vehicle, true));
        host.AnimatePed(ped);
        handle.rig = &rig;
        handle.vehicle = vehicle;
        handle.ped = ped;
    }

    // Binds the slot to the sedan's gas pedal at its rest pose; its
    // modelling matrix, or null when the model has none.
    FrameMatrix* BindGasPedal(FrameSlot& slot) {
        slot.frame = host.FindFrame(vehicle, "ik_gas");
        FrameMatrix* modelling = slot.frame != nullptr ? host.FrameModelling(slot.frame) : nullptr;
        if (modelling != nullptr) slot.restMatrix = *modelling;
        return modelling;
    }

    Vector3 HandPosition() {
        Vector3 p;
        EXPECT_TRUE(BonePosition(host, ped, NodeToBoneId(kRightHandNode), p));
        return p;
    }

    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    CabinIk rig{runtime, nullptr};
    GasPedalIk handle{runtime};
};

TEST_F(IkHandleSteps, WeightReachesOneOnTheFourteenthStep) {
    host.SetTimeStep(1.0f);
    for (int i = 0; i < 13; ++i) handle.StepWeight(true);
    EXPECT_NEAR(handle.weight, 0.975f, 1e-5f);
    EXPECT_LT(handle.weight, 1.0f);
    handle.StepWeight(true);
    EXPECT_EQ(handle.weight, 1.0f);
    handle.StepWeight(true);
    EXPECT_EQ(handle.weight, 1.0f);

    for (int i = 0; i < 14; ++i) handle.StepWeight(false);
    EXPECT_EQ(handle.weight, 0.0f);

    host.SetTimeStep(0.5f);
    handle.StepWeight(true);
    EXPECT_FLOAT_EQ(handle.weight, 0.0375f);

    // A rate that is not a number leaves the weight where it was.
    handle.rateArm = std::numeric_limits<float>::quiet_NaN();
    handle.StepWeight(true);
    EXPECT_FLOAT_EQ(handle.weight, 0.0375f);
}

TEST_F(IkHandleSteps, RigWeightsScaleTheWeight) {
    rig.driverBlend = 0.5f;
    rig.nodeWeights[kRightHandNode] = 0.5f;
    handle.weight = 0.8f;
    handle.ApplyRigWeights(kRightHandNode);
    EXPECT_FLOAT_EQ(handle.weight, 0.2f);
    EXPECT_FLOAT_EQ(handle.RigWeight(kLeftHandNode), 0.5f);
    EXPECT_FLOAT_EQ(handle.RigWeight(99), 0.5f);  // no such node: the driver fade only

    handle.rig = nullptr;
    handle.ApplyRigWeights(kRightHandNode);
    EXPECT_FLOAT_EQ(handle.weight, 0.2f);

    handle.weight = 0.25f;
    EXPECT_FLOAT_EQ(handle.SolverWeight(), 0.125f);
    handle.weight = 0.75f;
    EXPECT_FLOAT_EQ(handle.SolverWeight(), 0.875f);
}

TEST_F(IkHandleSteps, StartIsCapturedOnceAndAfreshAfterLettingGo) {
    const Vector3 hand = HandPosition();
    handle.weight = 0.1f;
    handle.CaptureStartPosition(kRightHandNode);
    EXPECT_VEC_NEAR(handle.startWorld, hand, 1e-6f);
    EXPECT_VEC_NEAR(handle.startLocal, InverseTransformPoint(hand, *host.VehicleMatrix(vehicle)),
                    1e-5f);

    // The limb moves on; the start stays where the fade began.
    Quaternion* shoulder = BoneRotationSlot(host, ped, ParentNode(ParentNode(kRightHandNode)));
    ASSERT_NE(shoulder, nullptr);
    RotateQuaternion(*shoulder, AxisZ, 40.0f, Combine::Local);
    RefreshBoneMatrices(host, ped);
    const Vector3 moved = HandPosition();
    ASSERT_GT(Distance(moved, hand), 0.05f);
    handle.weight = 0.5f;
    handle.CaptureStartPosition(kRightHandNode);
    EXPECT_VEC_NEAR(handle.startWorld, hand, 1e-6f);

    // Back at 0 it forgets; the next engagement starts from the new pose.
    handle.weight = 0.0f;
    handle.CaptureStartPosition(kRightHandNode);
    EXPECT_TRUE(handle.startWorld.IsZero());
    EXPECT_TRUE(handle.startLocal.IsZero());
    handle.weight = 0.1f;
    handle.CaptureStartPosition(kRightHandNode);
    EXPECT_VEC_NEAR(handle.startWorld, moved, 1e-6f);
}

TEST_F(IkHandleSteps, StartTakesWhereAnEarlierHandleLeftTheNode) {
    const Vector3 deposited{10.5f, -3.5f, 1.4f};
    handle.DepositNodeOffset(kRightFootNode, deposited);
    EXPECT_EQ(rig.nodeOffsets[kRightFootNode], deposited);
    handle.DepositNodeOffset(kRightFootNode, {std::nanf(""), 0, 0});  // never stored
    EXPECT_EQ(rig.nodeOffsets[kRightFootNode], deposited);

    handle.weight = 0.3f;
    handle.CaptureStartPosition(kRightFootNode);
    EXPECT_EQ(handle.startWorld, deposited);

    // A zero entry means "not moved": the skeleton is asked.
    GasPedalIk other(runtime);
    other.rig = &rig;
    other.vehicle = vehicle;
    other.ped = ped;
    other.weight = 0.3f;
    other.CaptureStartPosition(kRightHandNode);
    EXPECT_VEC_NEAR(other.startWorld, HandPosition(), 1e-6f);
}

TEST_F(IkHandleSteps, StartTravelsWithTheVehicle) {
    handle.weight = 0.25f;
    handle.CaptureStartPosition(kRightHandNode);
    const Vector3 start = handle.startWorld;
    EXPECT_VEC_NEAR(handle.StartPointNow(), start, 1e-5f);

    FrameMatrix* body = host.VehicleMatrix(vehicle);
    body->pos += Vector3(2.0f, 1.0f, 0.0f);
    EXPECT_VEC_NEAR(handle.StartPointNow(), start + Vector3(2.0f, 1.0f, 0.0f), 1e-5f);

    const Vector3 grab{12.0f, -2.0f, 1.5f};
    const Vector3 expected = grab * 0.25f + handle.StartPointNow() * 0.75f;
    EXPECT_VEC_NEAR(handle.BlendedTarget(grab), expected, 1e-5f);
}

TEST_F(IkHandleSteps, EndRotationTurnsXFirstThenLocally) {
    handle.endAngles = {90.0f, 90.0f, 0.0f};
    // Y is turned about the already turned axis: X ends up along world Y.
    EXPECT_VEC_NEAR(RotateVector(handle.EndRotation(), AxisX), AxisY, 1e-5f);
    handle.endAngles = {90.0f, 0.0f, 0.0f};
    EXPECT_VEC_NEAR(RotateVector(handle.EndRotation(-1.0f), AxisY), -AxisZ, 1e-5f);

    Quaternion* slot = BoneRotationSlot(host, ped, kRightFootNode);
    ASSERT_NE(slot, nullptr);
    const Quaternion animated = *slot;
    handle.ApplyEndRotation(kRightFootNode, 0.0f);
    EXPECT_EQ(*slot, animated);
    handle.ApplyEndRotation(kRightFootNode, 1.0f);
    EXPECT_QUAT_NEAR(*slot, AxisAngle(AxisX, 90.0f), 1e-5f);
}

// A foot placed on a pedal at rest goes round with the pedal as it turns,
// keeping its place on it, rather than staying put while the pedal turns
// under it.
TEST_F(IkHandleSteps, APointGoesRoundWithItsControl) {
    FrameMatrix atRest;
    RotateFrame(atRest, AxisZ, 30.0f, Combine::Replace);
    atRest.pos = {1.0f, 2.0f, 0.5f};
    const Vector3 onPedal = TransformPoint({0.0f, 0.08f, 0.02f}, atRest);
    FrameMatrix turned = atRest;
    RotateFrame(turned, AxisX, -25.0f, Combine::Local);
    const Vector3 carried = IkHandle::TurnedWithControl(onPedal, turned, -25.0f);
    EXPECT_VEC_NEAR(InverseTransformPoint(carried, turned), Vector3(0.0f, 0.08f, 0.02f), 1e-5f);
    EXPECT_GT(Distance(carried, onPedal), 0.02f);
    EXPECT_EQ(IkHandle::TurnedWithControl(onPedal, turned, 0.0f), onPedal);
    EXPECT_EQ(IkHandle::TurnedWithControl(onPedal, turned, std::numeric_limits<float>::quiet_NaN()), onPedal);
}

TEST_F(IkHandleSteps, TurnFrameFromRestLeavesThePosition) {
    FrameSlot& slot = handle.frameA;
    FrameMatrix* modelling = BindGasPedal(slot);
    ASSERT_NE(modelling, nullptr);
    const Vector3 pos = modelling->pos;

    handle.TurnFrameFromRest(slot, AxisX, 90.0f);
    handle.TurnFrameFromRest(slot, AxisX, 30.0f);  // from rest, not from the last turn
    FrameMatrix expected = slot.restMatrix;
    RotateFrame(expected, AxisX, 30.0f, Combine::Local);
    EXPECT_VEC_NEAR(modelling->up, expected.up, 1e-6f);
    EXPECT_VEC_NEAR(modelling->at, expected.at, 1e-6f);
    EXPECT_EQ(modelling->pos, pos);

    handle.TurnFrameFromRest(slot, AxisX, std::numeric_limits<float>::infinity());
    EXPECT_VEC_NEAR(modelling->up, expected.up, 1e-6f);
}

// Turns kept from the last frame are reused only for the same inputs, bit
// for bit: every input that changes gives exactly what working the turn out
// afresh gives.
TEST_F(IkHandleSteps, KeptTurnsFollowEveryChangeOfTheirInputs) {
    // A frame turned from rest: the angle, the axis and the rest rows.
    FrameSlot& slot = handle.frameA;
    FrameMatrix* modelling = BindGasPedal(slot);
    ASSERT_NE(modelling, nullptr);
    const auto expectTurned = [&](const Vector3& axis, float degrees, const char* what) {
        FrameMatrix expected = slot.restMatrix;
        RotateFrame(expected, axis, degrees, Combine::Local);
        EXPECT_TRUE(SameBits(modelling->right, expected.right)) << what;
        EXPECT_TRUE(SameBits(modelling->up, expected.up)) << what;
        EXPECT_TRUE(SameBits(modelling->at, expected.at)) << what;
    };
    handle.TurnFrameFromRest(slot, AxisX, 12.0f);
    handle.TurnFrameFromRest(slot, AxisX, 12.0f);
    expectTurned(AxisX, 12.0f, "same angle");
    *modelling = slot.restMatrix;  // the game poses the frame itself
    handle.TurnFrameFromRest(slot, AxisX, 12.0f);
    expectTurned(AxisX, 12.0f, "written again");
    handle.TurnFrameFromRest(slot, AxisZ, 12.0f);
    expectTurned(AxisZ, 12.0f, "other axis");
    RotateFrame(slot.restMatrix, AxisY, 20.0f, Combine::Local);
    handle.TurnFrameFromRest(slot, AxisZ, 12.0f);
    expectTurned(AxisZ, 12.0f, "other rest rows");
    handle.TurnFrameFromRest(slot, AxisZ, 0.0f);
    handle.TurnFrameFromRest(slot, AxisZ, -0.0f);
    expectTurned(AxisZ, -0.0f, "negative zero");
    static constexpr const char* kBrake[] = {"ik_brake"};
    Vector3 offset{1.0f, 0.0f, 0.0f};
    ASSERT_TRUE(handle.LocateFrame(slot, kBrake, offset));  // a rebuild finds another frame
    modelling = host.FrameModelling(slot.frame);
    handle.TurnFrameFromRest(slot, AxisZ, -0.0f);
    expectTurned(AxisZ, -0.0f, "another frame");

    // The end and foot rotations: the angles, the side and the toe roll.
    const auto fresh = [](const Vector3& degrees) {
        Quaternion q = AxisAngle(AxisX, degrees.x);
        RotateQuaternion(q, AxisY, degrees.y, Combine::Local);
        RotateQuaternion(q, AxisZ, degrees.z, Combine::Local);
        return q;
    };
    handle.endAngles = {10.0f, 20.0f, 30.0f};
    EXPECT_EQ(handle.EndRotation(), fresh({10.0f, 20.0f, 30.0f}));
    EXPECT_EQ(handle.EndRotation(-1.0f), fresh({-10.0f, 20.0f, 30.0f}));
    EXPECT_EQ(handle.FootRotation(5.0f), fresh({10.0f, 20.0f, 25.0f}));
    EXPECT_EQ(handle.EndRotation(), fresh({10.0f, 20.0f, 30.0f}));
    handle.endAngles.y = -40.0f;
    EXPECT_EQ(handle.EndRotation(-1.0f), fresh({-10.0f, -40.0f, 30.0f}));
    GasPedalIk other{runtime};
    other.endAngles = {0.0f, 0.0f, 90.0f};
    handle.CopyFrom(&other);
    EXPECT_EQ(handle.FootRotation(0.0f), fresh({0.0f, 0.0f, 90.0f}));

    // The knee's turn: the bend angle.
    KeptSinCos turn;
    const FrameMatrix& root = *BoneWorldMatrix(host, ped, kRootBone);
    const Vector3 target = root.pos + Vector3{0.3f, 0.5f, -0.4f};
    const Vector3 axis = NormalizedCopy(target - root.pos);
    for (float bend : {10.0f, 10.0f, -25.0f}) {
        EXPECT_EQ(pedal::KneeDirection(host, ped, target, bend, turn),
                  RotateAboutAxis(-root.right, axis, bend * kDegToRad))
            << bend;
    }

    // Turns about an axis and the fingers' curl.
    KeptAxisTurn axisTurn;
    EXPECT_EQ(AxisTurn(axisTurn, AxisZ, 30.0f), AxisAngle(AxisZ, 30.0f));
    EXPECT_EQ(AxisTurn(axisTurn, AxisX, 30.0f), AxisAngle(AxisX, 30.0f));
    EXPECT_EQ(AxisTurn(axisTurn, AxisX, -30.0f), AxisAngle(AxisX, -30.0f));
    pedal::KeptFingerCurl curl;
    EXPECT_EQ(pedal::FingerCurlTurn(curl, 0.25f), AxisAngle(AxisZ, pedal::FingerCurl(0.25f)));
    EXPECT_EQ(pedal::FingerCurlTurn(curl, 0.5f), AxisAngle(AxisZ, pedal::FingerCurl(0.5f)));
}

}  // namespace
}  // namespace kovra
