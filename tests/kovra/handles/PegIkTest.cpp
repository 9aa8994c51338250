#include "kovra/handles/bike/PegIk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "BikeTestSupport.h"
#include "TestMath.h"

namespace kovra {
namespace {


class PegIkTest : public test::BikeTest {
protected:
    void SetUp() override {
        Start(sim::MakeMotorbikeModel(461));
        peg = rig->pegIk;
        ASSERT_NE(peg, nullptr);
        // The shift lever and the rear brake would take a foot over.
        rig->bikeShiftIk = nullptr;
        rig->handBrakeIk = nullptr;
    }
    Vector3 PegTarget(float side) {
        const Vector3 g = peg->grabOffset;
        return TransformPoint({g.x * side, g.y, g.z}, Body());
    }

    // Each foot turned by FootAngle, its X mirrored for the left foot.
    void ExpectFootTurn(const Vector3& angles, const std::string& what) {
        for (float side : {1.0f, -1.0f}) {
            const NodeIndex node = side > 0.0f ? kRightFootNode : kLeftFootNode;
            Quaternion q;
            RotateQuaternion(q, AxisX, angles.x * side, Combine::Replace);
            RotateQuaternion(q, AxisY, angles.y, Combine::Local);
            RotateQuaternion(q, AxisZ, angles.z, Combine::Local);
            EXPECT_QUAT_NEAR(*BoneRotationSlot(host, ped, node), q, 1e-5f) << what << " side " << side;
        }
    }

    PegIk* peg = nullptr;
};

TEST_F(PegIkTest, FeetStandOnThePegsAndTurnByFootAngle) {
    peg->endAngles = {-40.0f, 10.0f, 5.0f};
    Frame();
    for (float side : {1.0f, -1.0f}) {
        const NodeIndex node = side > 0.0f ? kRightFootNode : kLeftFootNode;
        const LimbSolve& solve = log.last[node];
        ASSERT_EQ(solve.tag, KindCode(HandleKind::Peg)) << side;
        ASSERT_TRUE(solve.reached);
        EXPECT_EQ(solve.weight, 1.0f);
        EXPECT_VEC_NEAR(Bone(NodeToBoneId(node)), PegTarget(side), 0.002f) << side;
    }
    ExpectFootTurn(peg->endAngles, "FootAngle");

    // Later handles of the dispatch start from where the feet were put.
    rig->nodeOffsets.fill(Vector3{});
    host.AnimatePed(ped);
    peg->Update();
    EXPECT_EQ(rig->nodeOffsets[kRightFootNode], runtime.solver().record(kRightFootNode).lastEnd);
    EXPECT_VEC_NEAR(rig->nodeOffsets[kLeftFootNode], PegTarget(-1.0f), 0.002f);
    EXPECT_FALSE(peg->appliedThisFrame);
}

// The feet's turn follows FootAngle from the frame after any change: a menu
// edit of one angle, a copy from another handle, the model's defaults.
TEST_F(PegIkTest, FootTurnFollowsEveryChangeOfFootAngle) {
    peg->endAngles = {-40.0f, 10.0f, 5.0f};
    Frame();
    ExpectFootTurn({-40.0f, 10.0f, 5.0f}, "set");
    peg->endAngles.z = -25.0f;
    Frame();
    ExpectFootTurn({-40.0f, 10.0f, -25.0f}, "one angle edited");
    PegIk other{runtime};
    other.CopyFrom(peg);
    other.endAngles = {15.0f, -5.0f, 0.0f};
    peg->CopyFrom(&other);
    Frame();
    ExpectFootTurn({15.0f, -5.0f, 0.0f}, "copied");
    vehicle->state.animGroup = 4;
    peg->ApplyModelDefaults();
    Frame();
    ExpectFootTurn({-40.0f, 0.0f, 0.0f}, "model defaults");
}

TEST_F(PegIkTest, AFootLetsGoAsTheBikeLeansToItsSide) {
    vehicle->state.lean = 0.3f;
    Frame();
    EXPECT_FLOAT_EQ(log.last[kRightFootNode].weight, 0.7f);
    EXPECT_EQ(log.last[kLeftFootNode].weight, 1.0f);

    rig->nodeWeights[kRightFootNode] = 0.5f;  // the blend controller lifts it to 0.55
    Frame();
    EXPECT_FLOAT_EQ(log.last[kRightFootNode].weight, 0.7f * 0.55f);
    rig->nodeWeights[kRightFootNode] = 1.0f;

    vehicle->state.lean = -1.0f;
    Frame();
    EXPECT_EQ(log.last[kLeftFootNode].weight, 0.0f) << "the left foot is free";
    EXPECT_EQ(log.last[kRightFootNode].weight, 1.0f);
    const Vector3 posedLeft = Bone(43);
    host.AnimatePed(ped);  // this frame's pose as the game animated it
    EXPECT_VEC_NEAR(posedLeft, Bone(43), 1e-6f);

    vehicle->state.lean = 1.5f;  // past full: still no more than free
    Frame();
    EXPECT_EQ(log.last[kRightFootNode].weight, 0.0f);
}

// Each knee bends away from the body's inward axis turned about the body's
// up axis, by BendAngle for the right leg and mirrored for the left.
TEST_F(PegIkTest, KneesTurnByBendAngleMirrored) {
    peg->bendAngle = 70.0f;
    const FrameMatrix body = Body();
    const float a = 70.0f * kDegToRad;
    const Vector3 right = body.right, forward = body.up;
    // Right knee: the body's -X turned +70 degrees about Z.
    EXPECT_VEC_NEAR(peg->KneeBend(1.0f, body), -right * std::cos(a) - forward * std::sin(a), 1e-5f);
    // Left knee: +X turned -70 degrees.
    EXPECT_VEC_NEAR(peg->KneeBend(-1.0f, body), right * std::cos(a) - forward * std::sin(a), 1e-5f);
    peg->bendAngle = 0.0f;
    EXPECT_VEC_NEAR(peg->KneeBend(1.0f, body), -right, 1e-6f);

    // Solved, each knee lies in the plane of its bend and its leg, on the
    // far side from the bend: turned forwards and out.
    peg->bendAngle = 70.0f;
    Frame();
    for (float side : {1.0f, -1.0f}) {
        const BoneId hip = side > 0.0f ? 51 : 41;
        const Vector3 bend = peg->KneeBend(side, Body());
        const Vector3 h = Bone(hip);
        const Vector3 axis = NormalizedCopy(Bone(hip + 2) - h);
        const Vector3 knee = Bone(hip + 1) - h;
        EXPECT_NEAR(Dot(knee, NormalizedCopy(Cross(axis, bend))), 0.0f, 2e-3f) << side;
        const Vector3 out = knee - axis * Dot(knee, axis);
        EXPECT_LT(Dot(out, bend), -0.01f) << side;
        EXPECT_GT(Dot(out, Body().up), 0.0f) << "the knee points forwards, side " << side;
        EXPECT_GT(Dot(out, Body().right) * side, 0.0f) << "and outwards, side " << side;
    }
}

TEST_F(PegIkTest, DegenerateTunablesAndHostValuesNeverReachABone) {
    PegIk defaults{runtime};
    defaults.CopyFrom(peg);
    for (int c = 0; c < 6; ++c) {
        peg->CopyFrom(&defaults);
        vehicle->state.lean = c == 4 ? kNaN : (c == 5 ? -1e30f : 0.0f);
        if (c == 0) peg->grabOffset = {kInf, kNaN, 1e30f};
        if (c == 1) peg->bendAngle = kNaN;
        if (c == 2) peg->bendAngle = 1e30f;
        if (c == 3) peg->endAngles = {kNaN, kInf, -1e30f};
        for (int i = 0; i < 3; ++i) Frame();
        ExpectFinitePose("case " + std::to_string(c));
    }
}

}  // namespace
}  // namespace kovra
