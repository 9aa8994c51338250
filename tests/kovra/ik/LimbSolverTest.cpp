#include "kovra/ik/LimbSolver.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "AllocationCounter.h"
#include "SimTestSupport.h"
#include "TestMath.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

struct Limb {
    const char* name;
    NodeIndex end;
};
constexpr Limb kLimbs[] = {{"right hand", kRightHandNode},
                           {"left hand", kLeftHandNode},
                           {"right foot", kRightFootNode},
                           {"left foot", kLeftFootNode}};

// The simulated game, keeping the characters it was asked to refresh (and
// refreshing only those it still has).
struct RefreshRecordingHost : sim::SimHost {
    void UpdateSkeleton(CPed* p) override {
        refreshed.push_back(p);
        if (PedSlot(p) >= 0) SimHost::UpdateSkeleton(p);
    }
    std::vector<CPed*> refreshed;
};

// A driver in a turned sedan of its own.
CPed* SeatedDriver(RefreshRecordingHost& host) {
    if (!host.AddVehicleModel(sim::MakeSedanModel(400)) && host.Model(400) == nullptr) return nullptr;
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    test::SeatDriverInTurnedVehicle(host, 400, vehicle, ped);
    return ped;
}

class LimbSolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(sim::MakeSedanModel(400)));
        test::SeatDriverInTurnedVehicle(host, 400, vehicle, ped);
    }

    Vector3 Pos(BoneId bone) {
        Vector3 p;
        EXPECT_TRUE(BonePosition(host, ped, bone, p)) << "bone " << bone;
        return p;
    }
    Vector3 NodePos(NodeIndex node) { return Pos(NodeToBoneId(node)); }
    Quaternion Slot(NodeIndex node) { return *BoneRotationSlot(host, ped, node); }
    std::array<Quaternion, kNodeCount> AllSlots() {
        std::array<Quaternion, kNodeCount> slots;
        for (NodeIndex n = 0; n < kNodeCount; ++n) slots[n] = Slot(n);
        return slots;
    }
    float LimbLength(NodeIndex end) {
        const NodeIndex mid = ParentNode(end);
        return Distance(NodePos(ParentNode(mid)), NodePos(mid)) + Distance(NodePos(mid), NodePos(end));
    }

    sim::SimHost host;
    LimbSolver solver{host};
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
};

// Re-runs the skeleton's forward kinematics and checks where the end bone
// really ended up, not what the solver believes.
#define EXPECT_REACHED(end, target, tol)                                  \
    do {                                                                  \
        RefreshBoneMatrices(host, ped);                                   \
        EXPECT_VEC_NEAR(NodePos(end), target, tol);                        \
    } while (0)

TEST_F(LimbSolverTest, ReachableTargetsAreReachedByTheSkeleton) {
    const Vector3 offsets[] = {{0, 0, 0},        {0.05f, 0, 0},  {0, 0.08f, 0.02f},
                               {-0.06f, -0.05f, 0.04f}, {0.02f, 0.1f, -0.08f}, {0, 0, 0.12f}};
    for (const Limb& limb : kLimbs) {
        for (const Vector3& offset : offsets) {
            host.AnimatePed(ped);
            const Vector3 target = NodePos(limb.end) + TransformVector(offset, *host.VehicleMatrix(vehicle));
            EXPECT_TRUE(solver.SolveLimb(ped, target, limb.end, {}, 1.0f)) << limb.name;
            EXPECT_REACHED(limb.end, target, 0.002f);
            // The middle joint is where the solve put it.
            EXPECT_VEC_NEAR(NodePos(ParentNode(limb.end)), solver.record(ParentNode(limb.end)).lastEnd,
                            0.002f);
            EXPECT_VEC_NEAR(solver.record(limb.end).lastEnd, target, 0.001f);
        }
    }
    EXPECT_EQ(host.Skeleton(ped)->NonFiniteInputs(), 0);
}

TEST_F(LimbSolverTest, SolvingTowardsTheRestPoseKeepsIt) {
    // Bent away from the side the rest pose's middle joint stands on, a solve
    // to the rest position must give the rest pose back: the bone writes are
    // consistent with the skeleton's own forward kinematics.
    for (const Limb& limb : kLimbs) {
        host.AnimatePed(ped);
        const NodeIndex midNode = ParentNode(limb.end);
        const Vector3 start = NodePos(ParentNode(midNode));
        const Vector3 mid = NodePos(midNode);
        const Vector3 end = NodePos(limb.end);
        const Vector3 axis = NormalizedCopy(end - start);
        const Vector3 side = (mid - start) - axis * Dot(mid - start, axis);
        ASSERT_TRUE(solver.SolveLimb(ped, end, limb.end, -side, 1.0f));
        EXPECT_REACHED(limb.end, end, 0.002f);
        EXPECT_VEC_NEAR(NodePos(midNode), mid, 0.002f) << limb.name;
    }
}

TEST_F(LimbSolverTest, ExplicitBendPlacesTheMiddleJointAwayFromIt) {
    const FrameMatrix& car = *host.VehicleMatrix(vehicle);
    for (const Limb& limb : kLimbs) {
        for (const Vector3 bendLocal : {Vector3{0, 0, 1}, Vector3{0, 0, -1}, Vector3{1, 0, 0}}) {
            host.AnimatePed(ped);
            const Vector3 bend = TransformVector(bendLocal, car);
            const Vector3 start = NodePos(ParentNode(ParentNode(limb.end)));
            const Vector3 target = NodePos(limb.end) + TransformVector({0, -0.05f, 0.03f}, car);
            ASSERT_TRUE(solver.SolveLimb(ped, target, limb.end, bend, 1.0f));
            EXPECT_REACHED(limb.end, target, 0.002f);
            const Vector3 axis = NormalizedCopy(target - start);
            const Vector3 mid = NodePos(ParentNode(limb.end)) - start;
            const Vector3 midOff = mid - axis * Dot(mid, axis);
            const Vector3 bendOff = bend - axis * Dot(bend, axis);
            if (Length(bendOff) < 0.2f) continue;  // bend almost along the limb
            EXPECT_LT(Dot(NormalizedCopy(midOff), NormalizedCopy(bendOff)), -0.999f)
                << limb.name << " bend " << bendLocal;
        }
    }
}

TEST_F(LimbSolverTest, AutomaticBendGivesADriversElbowsAndKnees) {
    const FrameMatrix& car = *host.VehicleMatrix(vehicle);
    for (const Limb& limb : kLimbs) {
        host.AnimatePed(ped);
        const Vector3 target = NodePos(limb.end) + TransformVector({0, -0.08f, 0.0f}, car);
        ASSERT_TRUE(solver.SolveLimb(ped, target, limb.end, {}, 1.0f));
        const Vector3 start = InverseTransformPoint(NodePos(ParentNode(ParentNode(limb.end))), car);
        const Vector3 mid = InverseTransformPoint(NodePos(ParentNode(limb.end)), car);
        const Vector3 end = InverseTransformPoint(NodePos(limb.end), car);
        const Vector3 onLine = Lerp(start, end, 0.5f);
        if (limb.end == kRightHandNode) {
            EXPECT_GT(mid.x, onLine.x) << "right elbow out";
        }
        if (limb.end == kLeftHandNode) {
            EXPECT_LT(mid.x, onLine.x) << "left elbow out";
        }
        if (limb.end == kRightFootNode || limb.end == kLeftFootNode) {
            EXPECT_GT(mid.z, onLine.z) << limb.name << ": knee up";
        }
    }
}

// The solver works the start bone's new world matrix out itself instead of
// asking the game for a refresh between the two aims: the rotations must be
// the very ones that aiming, refreshing and aiming again gives. The game is
// asked for no refresh until someone reads below the written bones.
TEST_F(LimbSolverTest, NoRefreshBetweenAimsGivesTheSameRotations) {
    const Vector3 offsets[] = {{0.05f, 0.08f, 0.02f}, {-0.06f, -0.05f, 0.04f}};
    for (const Limb& limb : kLimbs) {
        for (const float weight : {1.0f, 0.6f}) {
            for (const Vector3& offset : offsets) {
                RefreshRecordingHost counting;
                CPed* p = SeatedDriver(counting);
                ASSERT_NE(p, nullptr);
                LimbSolver oneRefresh{counting};
                const NodeIndex mid = ParentNode(limb.end);
                const BoneId midBone = NodeToBoneId(mid);
                const BoneId startBone = NodeToBoneId(ParentNode(mid));
                Vector3 end;
                ASSERT_TRUE(BonePosition(counting, p, NodeToBoneId(limb.end), end));
                const Vector3 target = end + offset;
                const Vector3 bend{0.3f, -0.2f, 0.9f};

                counting.refreshed.clear();
                oneRefresh.SolveLimb(p, target, limb.end, bend, weight);
                EXPECT_EQ(counting.refreshed.size(), 0u) << limb.name;
                // The anchor lies above the writes; the end below them.
                oneRefresh.sync().BeforeRead(p, NodeToBoneId(ParentNode(ParentNode(mid))));
                EXPECT_EQ(counting.refreshed.size(), 0u) << limb.name;
                // Below the start bone the matrices are worked out as the
                // game's refresh gives them, without one; until a write above.
                const FrameMatrix* worked = oneRefresh.sync().World(p, NodeToBoneId(limb.end));
                ASSERT_NE(worked, nullptr);
                const FrameMatrix endWorked = *worked;
                EXPECT_EQ(counting.refreshed.size(), 0u) << limb.name;
                oneRefresh.sync().Written(p, ParentNode(ParentNode(mid)));
                oneRefresh.sync().World(p, NodeToBoneId(limb.end));
                EXPECT_EQ(counting.refreshed.size(), 1u) << limb.name;
                oneRefresh.sync().Flush(p);
                EXPECT_EQ(counting.refreshed.size(), 1u) << limb.name;
                const FrameMatrix& refreshed = *BoneWorldMatrix(counting, p, NodeToBoneId(limb.end));
                EXPECT_EQ(endWorked.right, refreshed.right) << limb.name;
                EXPECT_EQ(endWorked.up, refreshed.up) << limb.name;
                EXPECT_EQ(endWorked.at, refreshed.at) << limb.name;
                EXPECT_EQ(endWorked.pos, refreshed.pos) << limb.name;
                std::array<Quaternion, 2> solved{*BoneRotationSlot(counting, p, ParentNode(mid)),
                                                 *BoneRotationSlot(counting, p, mid)};

                counting.AnimatePed(p);
                std::array<Vector3, 3> joints;
                ASSERT_TRUE(BonePosition(counting, p, startBone, joints[0]));
                ASSERT_TRUE(BonePosition(counting, p, midBone, joints[1]));
                ASSERT_TRUE(BonePosition(counting, p, NodeToBoneId(limb.end), joints[2]));
                SolveChain(joints, target, bend);
                LimbSolver twoRefreshes{counting};
                twoRefreshes.AimBone(p, startBone, joints[1], weight);
                RefreshBoneMatrices(counting, p);
                twoRefreshes.AimBone(p, midBone, joints[2], weight);
                EXPECT_EQ(*BoneRotationSlot(counting, p, ParentNode(mid)), solved[0]) << limb.name;
                EXPECT_EQ(*BoneRotationSlot(counting, p, mid), solved[1]) << limb.name << " " << weight;
            }
        }
    }
}

// Writes left pending on a character the game has since removed: a solve on
// another character must not ask the game to refresh the one that is gone.
TEST_F(LimbSolverTest, PendingWritesOfARemovedCharacterAreNeverRefreshed) {
    RefreshRecordingHost recording;
    CPed* gone = SeatedDriver(recording);
    ASSERT_NE(gone, nullptr);
    LimbSolver pending{recording};
    Vector3 hand;
    ASSERT_TRUE(BonePosition(recording, gone, 24, hand));
    pending.SolveLimb(gone, hand + Vector3{0.05f, 0.05f, 0.0f}, kRightHandNode, {}, 1.0f);
    ASSERT_TRUE(pending.sync().Pending(gone));
    CPed* next = SeatedDriver(recording);
    ASSERT_NE(next, nullptr);
    recording.DestroyPed(gone);
    ASSERT_TRUE(BonePosition(recording, next, 24, hand));
    pending.SolveLimb(next, hand + Vector3{0.05f, 0.05f, 0.0f}, kRightHandNode, {}, 1.0f);
    pending.sync().Flush(next);
    for (CPed* p : recording.refreshed) EXPECT_GE(recording.PedSlot(p), 0);
}

TEST_F(LimbSolverTest, WeightZeroSolvesButWritesNoBone) {
    const auto before = AllSlots();
    const Vector3 target = NodePos(kRightHandNode) + Vector3{0.05f, 0.05f, 0.0f};
    EXPECT_TRUE(solver.SolveLimb(ped, target, kRightHandNode, {}, 0.0f));
    const auto after = AllSlots();
    for (NodeIndex n = 0; n < kNodeCount; ++n) EXPECT_EQ(before[n], after[n]) << "node " << n;
    EXPECT_VEC_NEAR(solver.record(kRightHandNode).lastEnd, target, 0.001f);
    // Negative and NaN weights act as zero.
    solver.SolveLimb(ped, target, kRightHandNode, {}, -3.0f);
    solver.SolveLimb(ped, target, kRightHandNode, {}, std::numeric_limits<float>::quiet_NaN());
    for (NodeIndex n = 0; n < kNodeCount; ++n) EXPECT_EQ(before[n], Slot(n)) << "node " << n;
}

TEST_F(LimbSolverTest, HalfWeightMovesTheUpperBonesHalfWay) {
    const NodeIndex mid = ParentNode(kLeftHandNode);
    const NodeIndex start = ParentNode(mid);
    const Quaternion startBefore = Slot(start);
    const Vector3 target = NodePos(kLeftHandNode) + Vector3{-0.05f, -0.1f, 0.05f};
    solver.SolveLimb(ped, target, kLeftHandNode, {0, 0, 1}, 0.5f);
    const Quaternion startFull = solver.record(start).lastRotation;
    EXPECT_QUAT_NEAR(Slot(start), Slerp(startBefore, startFull, 0.5f), 1e-5f);
    // Half-way along the spherical path: the same angle from either end.
    EXPECT_NEAR(std::fabs(Dot(Slot(start), startBefore)), std::fabs(Dot(Slot(start), startFull)),
                1e-5f);
    EXPECT_GT(std::fabs(Dot(startBefore, startFull)), 0.0f);
    EXPECT_LT(std::fabs(Dot(startBefore, startFull)), 0.9999f) << "the solve must turn the bone";

    // Above one acts as one.
    host.AnimatePed(ped);
    solver.SolveLimb(ped, target, kLeftHandNode, {0, 0, 1}, 1.0f);
    const auto atOne = AllSlots();
    host.AnimatePed(ped);
    solver.SolveLimb(ped, target, kLeftHandNode, {0, 0, 1}, 7.0f);
    for (NodeIndex n = 0; n < kNodeCount; ++n) EXPECT_QUAT_NEAR(Slot(n), atOne[n], 1e-6f);
}

TEST_F(LimbSolverTest, OutOfReachStretchesTheLimbStraight) {
    for (const Limb& limb : kLimbs) {
        host.AnimatePed(ped);
        const NodeIndex start = ParentNode(ParentNode(limb.end));
        const Vector3 root = NodePos(start);
        const float length = LimbLength(limb.end);
        const Vector3 dir = NormalizedCopy(Vector3{0.2f, 1.0f, -0.3f});
        for (float factor : {1.001f, 1.5f}) {
            host.AnimatePed(ped);
            const Vector3 target = root + dir * (length * factor);
            EXPECT_FALSE(solver.SolveLimb(ped, target, limb.end, {}, 1.0f)) << limb.name;
            RefreshBoneMatrices(host, ped);
            EXPECT_VEC_NEAR(NodePos(limb.end), root + dir * length, 0.002f) << limb.name;
            EXPECT_VEC_NEAR(NodePos(ParentNode(limb.end)),
                            root + dir * Distance(root, NodePos(ParentNode(limb.end))), 0.002f);
        }
    }
}

TEST_F(LimbSolverTest, HipsKeepTheirTwistKneesAndElbowsLoseIt) {
    const Vector3 target = NodePos(kRightFootNode) + Vector3{0.03f, -0.05f, 0.05f};
    solver.SolveLimb(ped, target, kRightFootNode, {}, 1.0f);
    const Quaternion knee = Slot(ParentNode(kRightFootNode));
    EXPECT_NEAR(std::fabs(Dot(RemoveTwist(knee, AxisX), knee)), 1.0f, 1e-5f);
    // The hip's basis is built around the pelvis and then turned half a turn
    // about its own length axis.
    const FrameMatrix& hip = *BoneWorldMatrix(host, ped, 51);
    const FrameMatrix& pelvis = *BoneWorldMatrix(host, ped, kPelvisBone);
    const Vector3 expectedUp = -NormalizedCopy(Cross(NormalizedCopy(pelvis.at), hip.right));
    EXPECT_VEC_NEAR(hip.up, expectedUp, 1e-4f);
    EXPECT_EQ(solver.record(28).eulerFix, Vector3(180.0f, 0.0f, 0.0f));
}

// An arm bone is aimed by the shortest turn from its parent's X: its own X
// then lies along the aim and it carries no twist, in every direction,
// including straight back along the parent's -X where that turn has no axis
// of its own.
TEST_F(LimbSolverTest, ArmBonesPointAlongTheAimWithoutTwistInEveryDirection) {
    const BoneId forearm = NodeToBoneId(ParentNode(kRightHandNode));
    const FrameMatrix parent = *BoneWorldMatrix(host, ped, ParentBoneId(forearm));
    const Vector3 elbow = Pos(forearm);
    const Vector3 parentX = NormalizedCopy(parent.right);
    std::vector<Vector3> aims = {parentX, -parentX, NormalizedCopy(-parentX + parent.up * 1e-3f),
                                 NormalizedCopy(-parentX + parent.at * 0.05f)};
    for (int i = 0; i < 24; ++i) {
        const float a = 0.27f * static_cast<float>(i);
        aims.push_back(NormalizedCopy({std::cos(a), std::sin(1.7f * a), std::sin(a)}));
    }
    for (const Vector3& aim : aims) {
        host.AnimatePed(ped);
        ASSERT_TRUE(solver.AimBone(ped, forearm, elbow + aim * 0.3f, 1.0f) || Dot(aim, parentX) > 0.9999f);
        const Quaternion q = Slot(ParentNode(kRightHandNode));
        ASSERT_TRUE(IsFinite(q));
        EXPECT_NEAR(Dot(q, q), 1.0f, 1e-5f);
        EXPECT_NEAR(std::fabs(Dot(RemoveTwist(q, AxisX), q)), 1.0f, 1e-5f) << "twist left for " << aim;
        RefreshBoneMatrices(host, ped);
        EXPECT_VEC_NEAR(NormalizedCopy(BoneWorldMatrix(host, ped, forearm)->right), aim, 1e-4f);
    }
}

TEST_F(LimbSolverTest, MissingSkeletonOrBadTargetChangesNothing) {
    CPed* unskinned = host.CreatePed(FrameMatrix::Identity(), false);
    ASSERT_NE(unskinned, nullptr);
    EXPECT_FALSE(solver.SolveLimb(unskinned, {0, 0.5f, 0}, kRightHandNode, {}, 1.0f));
    EXPECT_FALSE(solver.SolveLimb(nullptr, {0, 0.5f, 0}, kRightHandNode, {}, 1.0f));
    solver.AimBone(unskinned, 22, {1, 1, 1}, 1.0f);
    EXPECT_EQ(ArmReach(host, unskinned), 0.0f);

    const auto before = AllSlots();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(solver.SolveLimb(ped, {nan, 0, 0}, kRightHandNode, {}, 1.0f));
    EXPECT_FALSE(solver.SolveLimb(ped, {0, inf, 0}, kRightHandNode, {}, 1.0f));
    EXPECT_FALSE(solver.SolveLimb(ped, {0, 0, 0.5f}, 1, {}, 1.0f));  // no chain above the pelvis
    // Aiming a bone at its own position has no direction: the pose stays.
    solver.AimBone(ped, 22, Pos(22), 1.0f);
    for (NodeIndex n = 0; n < kNodeCount; ++n) EXPECT_EQ(before[n], Slot(n)) << "node " << n;
}

TEST_F(LimbSolverTest, DegenerateSkeletonsAndTargetsStayFinite) {
    // A target on the pelvis origin: the automatic bend fades to nothing.
    solver.SolveLimb(ped, Pos(kPelvisBone), kRightFootNode, {}, 1.0f);
    // A target on the chain axis with no bend.
    host.AnimatePed(ped);
    const Vector3 shoulder = Pos(22);
    solver.SolveLimb(ped, Lerp(shoulder, Pos(24), 0.5f), kRightHandNode, {}, 1.0f);
    // Collapsed segments: the elbow and wrist on the shoulder.
    host.AnimatePed(ped);
    host.BoneFrameData(ped, 17)->translation = {};
    host.BoneFrameData(ped, 18)->translation = {};
    RefreshBoneMatrices(host, ped);
    solver.SolveLimb(ped, shoulder + Vector3{0.1f, 0.1f, 0}, kRightHandNode, {0, 0, 1}, 1.0f);
    solver.SolveLimb(ped, shoulder + Vector3{0.1f, 0.1f, 0}, kRightHandNode, {}, 0.5f);
    // A bone pointing straight along its reference axis.
    host.AnimatePed(ped);
    solver.AimBone(ped, 22, Pos(22) + Vector3{0, 0, 0.3f}, 1.0f);
    solver.AimBone(ped, 42, Pos(42) + Vector3{0.3f, 0, 0}, 1.0f);
    RefreshBoneMatrices(host, ped);
    for (NodeIndex n = 0; n < kNodeCount; ++n) {
        EXPECT_TRUE(IsFinite(Slot(n))) << "node " << n;
        EXPECT_TRUE(IsFinite(*BoneWorldMatrix(host, ped, NodeToBoneId(n)))) << "node " << n;
    }
    EXPECT_VEC_NEAR(Pos(23), Pos(22) + Vector3(0, 0, 0.3f) * (Distance(Pos(22), Pos(23)) / 0.3f),
                    1e-3f);
    EXPECT_EQ(host.Skeleton(ped)->NonFiniteInputs(), 0);
}

TEST_F(LimbSolverTest, SetBoneWorldRotationBlendsByWeight) {
    FrameMatrix target;
    RotateFrame(target, {0.2f, 1.0f, 0.3f}, 60.0f, Combine::Replace);
    const Quaternion before = Slot(kRightHandNode);
    SetBoneWorldRotation(host, ped, 24, 0.0f, target);
    EXPECT_EQ(Slot(kRightHandNode), before);

    SetBoneWorldRotation(host, ped, 24, 1.0f, target);
    const Quaternion full = Slot(kRightHandNode);
    RefreshBoneMatrices(host, ped);
    const FrameMatrix& hand = *BoneWorldMatrix(host, ped, 24);
    EXPECT_VEC_NEAR(hand.right, target.right, 1e-5f);
    EXPECT_VEC_NEAR(hand.up, target.up, 1e-5f);

    *BoneRotationSlot(host, ped, kRightHandNode) = before;
    SetBoneWorldRotation(host, ped, 24, 0.5f, target);
    EXPECT_QUAT_NEAR(Slot(kRightHandNode), Slerp(before, full, 0.5f), 1e-6f);
}

TEST_F(LimbSolverTest, PosingAllocatesNothing) {
    const Vector3 target = NodePos(kRightHandNode) + Vector3{0.05f, 0.05f, 0.0f};
    solver.SolveLimb(ped, target, kRightHandNode, {}, 1.0f);  // warm up
    test::AllocationCounter allocations;
    for (const Limb& limb : kLimbs) {
        solver.SolveLimb(ped, NodePos(limb.end) + Vector3{0.02f, 0.03f, 0.0f}, limb.end, {}, 0.7f);
    }
    SetBoneWorldRotation(host, ped, 24, 0.5f, FrameMatrix::Identity());
    ArmReach(host, ped);
    EXPECT_EQ(allocations.count(), 0u);
}

TEST_F(LimbSolverTest, ArmReachIsUpperArmPlusForearm) {
    EXPECT_NEAR(ArmReach(host, ped), Distance(Pos(22), Pos(23)) + Distance(Pos(23), Pos(24)), 1e-6f);
    EXPECT_GT(ArmReach(host, ped), 0.5f);
    EXPECT_LT(ArmReach(host, ped), 0.75f);
}

}  // namespace
}  // namespace kovra
