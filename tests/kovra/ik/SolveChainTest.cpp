#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "TestMath.h"
#include "kovra/ik/Geometry.h"
#include "kovra/ik/LimbSolver.h"

namespace kovra {
namespace {

std::array<Vector3, 3> Arm() { return {Vector3{0, 0, 0}, Vector3{0.3f, 0, 0}, Vector3{0.6f, 0, 0}}; }

void ExpectLengthsKept(const std::array<Vector3, 3>& j, float l0, float l1) {
    EXPECT_NEAR(Distance(j[0], j[1]), l0, 2e-3f);
    EXPECT_NEAR(Distance(j[1], j[2]), l1, 2e-3f);
}

TEST(SolveChain, ReachableTargetIsReachedWithSegmentLengthsKept) {
    auto j = Arm();
    const Vector3 target{0.2f, 0.3f, 0.1f};
    EXPECT_TRUE(SolveChain(j, target, {0, 0, 1}));
    EXPECT_VEC_NEAR(j[2], target, 0.001f);
    EXPECT_VEC_NEAR(j[0], Vector3(0, 0, 0), 0.0f);  // the root never moves
    ExpectLengthsKept(j, 0.3f, 0.3f);
}

TEST(SolveChain, TargetAtOrBeyondFullLengthStretchesTheLimb) {
    for (float dist : {0.6f, 2.0f}) {
        auto j = Arm();
        EXPECT_FALSE(SolveChain(j, {0, dist, 0}, {}));
        EXPECT_VEC_NEAR(j[1], Vector3(0, 0.3f, 0), 1e-6f);
        EXPECT_VEC_NEAR(j[2], Vector3(0, 0.6f, 0), 1e-6f);
    }
}

TEST(SolveChain, MiddleJointTurnsAwayFromTheBendDirection) {
    // The callers pass the side the middle joint should clear: an elbow
    // bent with the spine's up axis hangs below the shoulder-wrist line.
    for (const Vector3 bend : {Vector3{0, 0, 1}, Vector3{0, 0, -1}, Vector3{1, 0, 0.3f}}) {
        auto j = Arm();
        const Vector3 target{0.0f, 0.4f, 0.0f};
        ASSERT_TRUE(SolveChain(j, target, bend));
        const Vector3 axis = NormalizedCopy(j[2] - j[0]);
        const Vector3 offAxis = (j[1] - j[0]) - axis * Dot(j[1] - j[0], axis);
        EXPECT_GT(Length(offAxis), 0.05f);
        const Vector3 bendPerp = bend - axis * Dot(bend, axis);
        EXPECT_NEAR(Dot(NormalizedCopy(offAxis), NormalizedCopy(bendPerp)), -1.0f, 1e-4f)
            << "bend " << bend.x << "," << bend.y << "," << bend.z;
        ExpectLengthsKept(j, 0.3f, 0.3f);
        EXPECT_VEC_NEAR(j[2], target, 0.001f);
    }
}

TEST(SolveChain, WrongJointCountIsLeftAlone) {
    std::vector<Vector3> two{{0, 0, 0}, {1, 0, 0}};
    EXPECT_FALSE(SolveChain(two, {0.5f, 0, 0}, {}));
    EXPECT_VEC_NEAR(two[1], Vector3(1, 0, 0), 0.0f);
    std::vector<Vector3> four(4);
    EXPECT_FALSE(SolveChain(four, {0.5f, 0, 0}, {}));
}

TEST(SolveChain, DegenerateInputsNeverProduceNaN) {
    struct Case {
        std::array<Vector3, 3> joints;
        Vector3 target;
        Vector3 bend;
    };
    const Case cases[] = {
        {{Vector3{}, Vector3{}, Vector3{}}, {0.1f, 0, 0}, {0, 0, 1}},           // collapsed chain
        {{Vector3{}, Vector3{}, Vector3{0.5f, 0, 0}}, {0.2f, 0.1f, 0}, {0, 0, 1}},  // zero upper segment
        {{Vector3{}, Vector3{0.3f, 0, 0}, Vector3{0.3f, 0, 0}}, {0.1f, 0, 0}, {0, 0, 1}},
        {Arm(), {0.4f, 0, 0}, {1, 0, 0}},        // bend along the chain axis
        {Arm(), {0, 0, 0}, {0, 0, 1}},           // target on the root
        {Arm(), {0.3f, 0, 0}, {}},               // target on the chain axis, no bend
        {Arm(), Arm()[1], {0, 1, 0}},            // target on the middle joint
    };
    for (const Case& c : cases) {
        auto j = c.joints;
        SolveChain(j, c.target, c.bend);
        for (const Vector3& p : j) EXPECT_TRUE(IsFinite(p));
    }
}

TEST(SolveChain, ZeroBendKeepsTheIteratedMiddleJoint) {
    auto withBend = Arm();
    auto without = Arm();
    const Vector3 target{0.3f, 0.3f, 0};
    SolveChain(without, target, {});
    SolveChain(withBend, target, {0, 0, 1});
    EXPECT_VEC_NEAR(without[2], withBend[2], 1e-6f);
    // Without a bend the joint stays in the plane the chain started in.
    EXPECT_NEAR(without[1].z, 0.0f, 1e-6f);
    EXPECT_GT(std::fabs(withBend[1].z), 0.05f);
}

}  // namespace
}  // namespace kovra
