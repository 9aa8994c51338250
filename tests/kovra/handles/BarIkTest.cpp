#include "kovra/handles/bike/BarIk.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "BikeTestSupport.h"
#include "TestMath.h"
#include "kovra/handles/car/GasPedalIk.h"

namespace kovra {
namespace {


class BarIkTest : public test::BikeTest {
protected:
    void SetUp() override {
        Start(sim::MakeMotorbikeModel(461));
        bar = rig->barIk;
        ASSERT_NE(bar, nullptr);
    }
    FrameMatrix Bar() { return *host.FrameWorld(bar->frameA.frame); }
    // The bones as the game animated them this frame, before any handle.
    void Animated() {
        host.AnimatePed(ped);
    }

    BarIk* bar = nullptr;
};

TEST_F(BarIkTest, HandsHoldTheGripsTurnedToTheBar) {
    vehicle->state.gasPedal = 1.0f;
    vehicle->state.barAngle = 0.2f;  // the bars turned: the grips go with them
    for (int i = 0; i < 40; ++i) Frame();
    ASSERT_NE(rig->gasPedalIk, nullptr);
    ASSERT_EQ(rig->gasPedalIk->easedGas, 1.0f);
    const FrameMatrix barWorld = Bar();
    for (float side : {-1.0f, 1.0f}) {
        const NodeIndex node = side < 0.0f ? kLeftHandNode : kRightHandNode;
        const LimbSolve& solve = log.last[node];
        ASSERT_EQ(solve.tag, KindCode(HandleKind::Bar)) << side;
        ASSERT_TRUE(solve.reached) << side;
        EXPECT_EQ(solve.weight, 1.0f);
        EXPECT_VEC_NEAR(Bone(NodeToBoneId(node)), TransformPoint(bar->GripPoint(side), barWorld),
                        0.002f)
            << side;
    }
    // The left hand takes the bar's axes, turned a quarter about its Z and
    // back a quarter about its X; the right one is then twisted with the grip.
    FrameMatrix held = WithoutTranslation(barWorld);
    RotateFrame(held, AxisZ, 90.0f, Combine::Local);
    RotateFrame(held, AxisX, -90.0f, Combine::Local);
    const FrameMatrix& left = *host.BoneMatrix(ped, kLeftHandNode);
    EXPECT_VEC_NEAR(left.right, held.right, 1e-4f);
    EXPECT_VEC_NEAR(left.up, held.up, 1e-4f);
    RotateFrame(held, AxisZ, -rig->gasPedalIk->BikeGasAngle, Combine::Local);
    const FrameMatrix& right = *host.BoneMatrix(ped, kRightHandNode);
    EXPECT_VEC_NEAR(right.right, held.right, 1e-4f);
    EXPECT_VEC_NEAR(right.at, held.at, 1e-4f);
}

TEST_F(BarIkTest, RightGripFollowsTheThrottleTwist) {
    GasPedalIk& gas = *rig->gasPedalIk;
    const Vector3 g = bar->grabOffset;
    const float wrist = runtime.settings().gWristOffsetY;
    bar->gripGas = 1.0f;
    gas.BikeGasAngle = 45.0f;
    EXPECT_VEC_NEAR(bar->GripPoint(1.0f), Vector3(g.x, g.y + wrist, g.z - 0.05f), 1e-6f);
    EXPECT_VEC_NEAR(bar->GripPoint(-1.0f), Vector3(-g.x, g.y + wrist, g.z), 1e-6f);
    gas.BikeGasAngle = 92.0f;
    EXPECT_VEC_NEAR(bar->GripPoint(1.0f),
                    Vector3(g.x, g.y + wrist + 0.05f, g.z - 0.05f * 92.0f / 45.0f), 1e-6f);
    bar->gripGas = 0.5f;
    EXPECT_VEC_NEAR(bar->GripPoint(1.0f),
                    Vector3(g.x, g.y + wrist + 0.025f, g.z - 0.025f * 92.0f / 45.0f), 1e-6f);
    gas.BikeGasAngle = kNaN;
    EXPECT_TRUE(IsFinite(bar->GripPoint(1.0f)));
    rig->gasPedalIk = nullptr;  // a bike without a throttle frame
    EXPECT_VEC_NEAR(bar->GripPoint(1.0f), Vector3(g.x, g.y + wrist, g.z), 1e-6f);
    rig->gasPedalIk = &gas;
}

// The gas handle turns the grip after the bar handle has placed the hand: the
// hand is placed for the twist the grip takes in the same frame, not the last
// one, so it does not trail the grip while the gas opens.
TEST_F(BarIkTest, TheThrottleHandIsPlacedForThisFramesTwist) {
    Frame();
    vehicle->state.gasPedal = 1.0f;
    for (int i = 0; i < 3; ++i) {
        Frame();
        EXPECT_GT(rig->gasPedalIk->easedGas, 0.0f);
        EXPECT_EQ(bar->gripGas, rig->gasPedalIk->easedGas) << "frame " << i;
    }
}

TEST_F(BarIkTest, WithoutTheSpinePushOnlyTheHandsMove) {
    bar->doSpinePush = false;
    Animated();
    std::array<Quaternion, 9> animated;
    for (NodeIndex n = 1; n <= 8; ++n) animated[n] = *BoneRotationSlot(host, ped, n);
    Frame();
    for (NodeIndex n = 1; n <= 8; ++n) {
        EXPECT_EQ(*BoneRotationSlot(host, ped, n), animated[n]) << "node " << n;
    }
    EXPECT_EQ(log.last[4].ped, nullptr) << "no spine solve";
    EXPECT_EQ(log.last[kLeftHandNode].tag, KindCode(HandleKind::Bar));
}

// The push weight is the cube of how far the bar's middle is from the spine
// base against twice the lower spine, times the rig's spine weight.
TEST_F(BarIkTest, SpinePushGrowsWithTheBarsDistanceAndKeepsTheHeadLevel) {
    const auto expectedPush = [&] {
        Animated();
        const Vector3 base = Bone(2);
        const float span = 2.0f * Distance(Bone(4), base);
        const Vector3 middle = TransformPoint({0.0f, bar->grabOffset.y, bar->grabOffset.z}, Bar());
        const float r = std::min(Distance(middle, base) / span, 1.0f);
        return r * r * r;
    };
    Frame();
    const float nearPush = expectedPush();
    ASSERT_LT(nearPush, 0.9f);
    EXPECT_NEAR(log.last[4].weight, nearPush, 1e-4f);
    EXPECT_EQ(log.last[4].tag, KindCode(HandleKind::Bar));

    // Twice the lower spine away or more: the full push, times the rig's weight.
    bar->grabOffset.y += 0.6f;
    Frame();
    ASSERT_EQ(expectedPush(), 1.0f);
    EXPECT_EQ(log.last[4].weight, 1.0f);
    rig->nodeWeights[4] = 0.5f;  // the blend controller raises it again by 0.05
    Frame();
    EXPECT_FLOAT_EQ(log.last[4].weight, 0.55f);
    rig->nodeWeights[4] = 1.0f;

    // At full push the spine leans and the head stays as level as it was.
    Animated();
    const Vector3 animatedUpper = Bone(4);
    const Vector3 animatedNeckUp = host.BoneMatrix(ped, 5)->up;
    Frame();
    EXPECT_GT(Distance(Bone(4), animatedUpper), 0.03f) << "the spine did not move";
    const Vector3 neckUp = host.BoneMatrix(ped, 5)->up;
    EXPECT_GT(Dot(NormalizedCopy(neckUp), NormalizedCopy(animatedNeckUp)), std::cos(2.0f * kDegToRad));
}

// Each elbow bends away from the body-to-spine direction turned about the
// upper spine's length axis, by BendAngle for the right arm and mirrored for
// the left: the elbow lies in the plane of that direction and the arm.
TEST_F(BarIkTest, ElbowsBendAwayFromTheTurnedDirectionMirrored) {
    bar->doSpinePush = false;  // the upper spine stays where it was animated
    for (float bendAngle : {-70.0f, 40.0f}) {
        bar->bendAngle = bendAngle;
        Frame();
        const FrameMatrix upper = *host.BoneMatrix(ped, 4);
        for (float side : {-1.0f, 1.0f}) {
            const BoneId shoulder = side < 0.0f ? 32 : 22;
            Vector3 bend = NormalizedCopy(upper.pos - Body().pos);
            bend = RotateAboutAxis(bend, NormalizedCopy(upper.right), bendAngle * side * kDegToRad);
            const Vector3 s = Bone(shoulder);
            const Vector3 axis = NormalizedCopy(Bone(shoulder + 2) - s);
            const Vector3 elbow = Bone(shoulder + 1) - s;
            const Vector3 normal = NormalizedCopy(Cross(axis, bend));
            EXPECT_NEAR(Dot(elbow, normal), 0.0f, 2e-3f) << bendAngle << " side " << side;
            EXPECT_LT(Dot(elbow - axis * Dot(elbow, axis), bend), -0.01f) << bendAngle << " side " << side;
        }
    }
}

// Each hand is turned from the elbow its arm's solve just wrote, worked out
// without asking the game for a refresh, and the same to the last bit as
// turning it from the refreshed elbow. The one refresh left is the neck's,
// read after the spine bends.
TEST_F(BarIkTest, HandsAreTurnedFromTheSolvedElbowsWithoutARefresh) {
    for (const bool push : {true, false}) {
        bar->doSpinePush = push;
        Frame();
        Animated();
        host.refreshes = 0;
        bar->Update();
        EXPECT_EQ(host.refreshes, push ? 1 : 0) << "push " << push;
        runtime.solver().sync().Flush(ped);
        for (const NodeIndex hand : {kLeftHandNode, kRightHandNode}) {
            Quaternion& slot = *BoneRotationSlot(host, ped, hand);
            const Quaternion placed = slot;
            SetBoneWorldRotation(host, ped, NodeToBoneId(hand), 1.0f, Bar());
            Quaternion held = slot;
            TurnLocally(held, AxisAngle(AxisZ, 90.0f));
            TurnLocally(held, AxisAngle(AxisX, -90.0f));
            EXPECT_EQ(std::memcmp(&held, &placed, sizeof held), 0) << "push " << push << " node " << hand;
            slot = placed;
        }
    }
}

TEST_F(BarIkTest, DegenerateTunablesNeverReachABone) {
    BarIk defaults{runtime};
    defaults.CopyFrom(bar);
    for (int c = 0; c < 8; ++c) {
        bar->CopyFrom(&defaults);
        runtime.settings().muSpinePush = c == 4 ? kInf : 1.0f;
        runtime.settings().gWristOffsetY = c == 5 ? kNaN : -0.1f;
        rig->gasPedalIk->BikeGasAngle = c == 6 ? 1e30f : 45.0f;
        vehicle->state.gasPedal = 1.0f;
        if (c == 0) bar->grabOffset = {kNaN, 1e30f, kInf};
        if (c == 1) bar->bendAngle = kInf;
        if (c == 2) bar->heightFactor = -1e30f;
        if (c == 3) bar->armFactor = kNaN;
        if (c == 7) bar->grabOffset = {};  // both grips on the bar's origin
        for (int i = 0; i < 5; ++i) Frame();
        ExpectFinitePose("case " + std::to_string(c));
    }
}

}  // namespace
}  // namespace kovra
