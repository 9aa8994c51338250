#include "kovra/ik/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>

#include "TestMath.h"

namespace kovra {
namespace {

constexpr float kPi = 3.14159265f;

TEST(Geometry, NormalizedCopyOfZeroOrTinyIsZero) {
    EXPECT_EQ(NormalizedCopy({0, 0, 0}), Vector3{});
    EXPECT_EQ(NormalizedCopy({1e-30f, 0, 0}), Vector3{});
    EXPECT_VEC_NEAR(NormalizedCopy({0, 3, 4}), Vector3(0, 0.6f, 0.8f), 1e-6f);
    Vector3 v{0, 0, 0};
    EXPECT_EQ(Normalize(v), 0.0f);
    EXPECT_EQ(v, Vector3{});
}

TEST(Geometry, RotateAboutAxisQuarterTurn) {
    EXPECT_VEC_NEAR(RotateAboutAxis({1, 0, 0}, {0, 0, 1}, kPi / 2), Vector3(0, 1, 0), 1e-6f);
    // The component along the axis is kept.
    EXPECT_VEC_NEAR(RotateAboutAxis({1, 0, 2}, {0, 0, 1}, kPi), Vector3(-1, 0, 2), 1e-6f);
}

TEST(Geometry, MatrixToQuaternionBranches) {
    EXPECT_QUAT_NEAR(MatrixToQuaternion(FrameMatrix::Identity()), Quaternion::Identity(), 1e-7f);
    FrameMatrix halfTurnX;
    halfTurnX.up = {0, -1, 0};
    halfTurnX.at = {0, 0, -1};
    EXPECT_QUAT_NEAR(MatrixToQuaternion(halfTurnX), Quaternion(1, 0, 0, 0), 1e-7f);
    // Every branch round-trips through QuaternionToFrame.
    const Quaternion samples[] = {AxisAngle({0, 1, 0}, 179.0f), AxisAngle({0, 0, 1}, -170.0f),
                                  AxisAngle({1, 1, 0}, 160.0f), AxisAngle({1, 2, 3}, 33.0f)};
    for (const Quaternion& q : samples) {
        const Quaternion back = MatrixToQuaternion(QuaternionToFrame(q));
        EXPECT_NEAR(std::fabs(Dot(back, q)), 1.0f, 1e-5f);
    }
}

TEST(Geometry, DegenerateInputsStayFinite) {
    FrameMatrix zero;
    zero.right = zero.up = zero.at = {};
    EXPECT_TRUE(IsFinite(MatrixToQuaternion(zero)));
    EXPECT_TRUE(IsFinite(InverseTransformPoint({1, 2, 3}, zero)));
    FrameMatrix out;
    EXPECT_FALSE(Invert(zero, out));
    EXPECT_TRUE(IsFinite(Normalized(Quaternion{0, 0, 0, 0})));
    EXPECT_TRUE(IsFinite(Slerp(Quaternion::Identity(), Quaternion{0, 0, 0, -1}, 0.5f)));
    // A half-turn swing has no twist part; removing it must not produce NaN.
    EXPECT_TRUE(IsFinite(RemoveTwist(Quaternion{0, 1, 0, 0}, AxisX)));
    // dir parallel to the reference axis: a zero basis, not NaN.
    const FrameMatrix basis = BasisFromDirection({0, 0, 1}, {0, 0, 1}, 0);
    EXPECT_TRUE(IsFinite(basis));
    EXPECT_EQ(basis.up, Vector3{});
}

TEST(Geometry, FrameProductAndInverse) {
    FrameMatrix parent;
    RotateFrame(parent, AxisZ, 90.0f, Combine::Replace);
    parent.pos = {1, 2, 3};
    FrameMatrix child;
    child.pos = {1, 0, 0};
    const FrameMatrix world = Multiply(child, parent);
    EXPECT_VEC_NEAR(world.pos, Vector3(1, 3, 3), 1e-6f);
    EXPECT_VEC_NEAR(InverseTransformPoint(world.pos, parent), Vector3(1, 0, 0), 1e-6f);
    ScaleFrame(parent, {2, 2, 2});
    EXPECT_VEC_NEAR(InverseTransformPoint(TransformPoint({1, 1, 1}, parent), parent),
                    Vector3(1, 1, 1), 1e-5f);
}

TEST(Geometry, LocalRotationTurnsAboutOwnAxis) {
    // A frame tilted about X, then spun about its own Y: the spin axis (up)
    // stays where it was and the position is kept.
    FrameMatrix m;
    RotateFrame(m, AxisX, 30.0f, Combine::Replace);
    m.pos = {5, 6, 7};
    const Vector3 upBefore = m.up;
    RotateFrame(m, AxisY, 75.0f, Combine::Local);
    EXPECT_VEC_NEAR(m.up, upBefore, 1e-6f);
    EXPECT_VEC_NEAR(m.pos, Vector3(5, 6, 7), 0.0f);
    EXPECT_NEAR(Dot(m.right, m.at), 0.0f, 1e-6f);
}

TEST(Geometry, QuaternionLocalCombineAppliesNewRotationFirst) {
    Quaternion q;
    RotateQuaternion(q, AxisZ, 90.0f, Combine::Replace);
    RotateQuaternion(q, AxisX, 90.0f, Combine::Local);
    // X stays X under the local turn, then Z turns it to Y.
    EXPECT_VEC_NEAR(RotateVector(q, AxisX), Vector3(0, 1, 0), 1e-6f);
    EXPECT_VEC_NEAR(RotateVector(q, AxisY), Vector3(0, 0, 1), 1e-6f);
}

TEST(Geometry, RemoveTwistKeepsTheBoneDirection) {
    const Quaternion q = Multiply(AxisAngle({0.3f, 1, 0.2f}, 50.0f), AxisAngle(AxisX, 40.0f));
    const Quaternion swing = RemoveTwist(q, AxisX);
    EXPECT_VEC_NEAR(RotateVector(swing, AxisX), RotateVector(q, AxisX), 1e-5f);
    // What is left has no turn about its own X axis.
    const Quaternion again = RemoveTwist(swing, AxisX);
    EXPECT_NEAR(std::fabs(Dot(again, swing)), 1.0f, 1e-6f);
    const Quaternion pureTwist = AxisAngle(AxisX, 70.0f);
    EXPECT_QUAT_NEAR(RemoveTwist(pureTwist, AxisX), Quaternion::Identity(), 1e-6f);
}

TEST(Geometry, SlerpHalfWay) {
    const Quaternion a = Quaternion::Identity();
    const Quaternion b = AxisAngle(AxisZ, 90.0f);
    EXPECT_QUAT_NEAR(Slerp(a, b, 0.5f), AxisAngle(AxisZ, 45.0f), 1e-6f);
    // The shorter arc is taken even when the signs differ.
    const Quaternion negB{-b.x, -b.y, -b.z, -b.w};
    EXPECT_NEAR(std::fabs(Dot(Slerp(a, negB, 0.5f), AxisAngle(AxisZ, 45.0f))), 1.0f, 1e-6f);
}

TEST(Geometry, SlerpLongWayGoesRoundTheOtherSide) {
    const Quaternion a = Quaternion::Identity();
    const Quaternion b = AxisAngle(AxisZ, 90.0f);
    // A quarter turn one way is three quarters the other: half way is 135
    // degrees back.
    EXPECT_NEAR(std::fabs(Dot(SlerpLongWay(a, b, 0.5f), AxisAngle(AxisZ, -135.0f))), 1.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(Dot(SlerpLongWay(a, b, 1.0f), b)), 1.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(Dot(SlerpLongWay(a, b, 0.0f), a)), 1.0f, 1e-6f);
    // The same rotation twice has no other side: no turn at all.
    EXPECT_NEAR(std::fabs(Dot(SlerpLongWay(b, b, 0.5f), b)), 1.0f, 1e-6f);
}

TEST(Geometry, BasisFromDirectionModes) {
    const Vector3 dir{0, 1, 0};
    const FrameMatrix m0 = BasisFromDirection(dir, AxisZ, 0);
    EXPECT_VEC_NEAR(m0.right, dir, 0.0f);
    EXPECT_VEC_NEAR(Cross(m0.right, m0.up), m0.at, 1e-6f);  // a proper rotation
    EXPECT_VEC_NEAR(BasisFromDirection(dir, AxisZ, 1).up, dir, 0.0f);
    EXPECT_VEC_NEAR(BasisFromDirection(dir, AxisZ, 2).at, dir, 0.0f);
}

}  // namespace
}  // namespace kovra
