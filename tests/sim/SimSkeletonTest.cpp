#include "sim/SimSkeleton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "kovra/ik/Geometry.h"
#include "kovra/ik/Skeleton.h"
#include "sim/SimHost.h"

namespace kovra::sim {
namespace {

// The seated driver's joints as the game's animation places them, written out
// independently of the table in the simulator.
constexpr Vector3 kJoints[kNodeCount] = {
    {0, 0, 0},           {0, 0, 0},           {0, -0.02f, 0.12f},   {0, -0.04f, 0.26f},
    {0, -0.04f, 0.42f},  {0, -0.02f, 0.56f},  {0, 0, 0.64f},        {-0.03f, 0.09f, 0.70f},
    {0.03f, 0.09f, 0.70f},
    {-0.03f, -0.01f, 0.50f}, {-0.19f, -0.03f, 0.49f}, {-0.26f, 0.15f, 0.28f},
    {-0.21f, 0.42f, 0.45f},  {-0.20f, 0.51f, 0.46f},  {-0.20f, 0.56f, 0.46f},
    {0.03f, -0.01f, 0.50f},  {0.19f, -0.03f, 0.49f},  {0.26f, 0.15f, 0.28f},
    {0.21f, 0.42f, 0.45f},   {0.20f, 0.51f, 0.46f},   {0.20f, 0.56f, 0.46f},
    {0.09f, 0.08f, 0.36f},   {-0.09f, 0.08f, 0.36f},  {0, 0.10f, 0.12f},
    {-0.09f, 0.02f, -0.02f}, {-0.12f, 0.44f, 0.06f},  {-0.13f, 0.70f, -0.33f},
    {-0.13f, 0.85f, -0.38f},
    {0.09f, 0.02f, -0.02f},  {0.12f, 0.44f, 0.06f},   {0.13f, 0.70f, -0.33f},
    {0.13f, 0.85f, -0.38f},
};

struct MainChildPair {
    int node;
    int child;
};
constexpr MainChildPair kMainChildren[] = {
    {1, 2},   {2, 3},   {3, 4},   {4, 5},   {5, 6},   {9, 10},  {10, 11}, {11, 12}, {12, 13},
    {13, 14}, {15, 16}, {16, 17}, {17, 18}, {18, 19}, {19, 20}, {24, 25}, {25, 26}, {26, 27},
    {28, 29}, {29, 30}, {30, 31},
};

void ExpectNear(const Vector3& a, const Vector3& b, float tol, const char* what, int node) {
    EXPECT_NEAR(a.x, b.x, tol) << what << " node " << node;
    EXPECT_NEAR(a.y, b.y, tol) << what << " node " << node;
    EXPECT_NEAR(a.z, b.z, tol) << what << " node " << node;
}

FrameMatrix MovedWorld() {
    FrameMatrix m;
    RotateFrame(m, NormalizedCopy({0.3f, -0.2f, 1.0f}), 37.0f, Combine::Replace);
    m.pos = {12.5f, -3.0f, 4.25f};
    return m;
}

class SkeletonTest : public ::testing::Test {
protected:
    SimHost host;
    CPed* ped = host.CreatePed();

    const FrameMatrix& Bone(int node) {
        const int index = host.BoneHierarchyIndex(ped, NodeToBoneId(node));
        EXPECT_EQ(index, node);
        return *host.BoneMatrix(ped, index);
    }
};

TEST_F(SkeletonTest, RestPoseReproducesTheJointsThroughTheHostLookups) {
    EXPECT_EQ(host.BoneHierarchyIndex(ped, 0), 0);
    for (int node = 1; node < kNodeCount; ++node) {
        ExpectNear(Bone(node).pos, kJoints[node], 1e-5f, "joint", node);
    }

    // The same pose carried by a turned and moved character.
    const FrameMatrix world = MovedWorld();
    *host.PedMatrix(ped) = world;
    host.UpdateSkeleton(ped);
    for (int node = 1; node < kNodeCount; ++node) {
        ExpectNear(Bone(node).pos, TransformPoint(kJoints[node], world), 2e-5f, "moved joint",
                   node);
    }
}

TEST_F(SkeletonTest, BonesPointAtTheirMainChildWithOrthonormalRows) {
    for (const auto& [node, child] : kMainChildren) {
        const Vector3 dir = NormalizedCopy(kJoints[child] - kJoints[node]);
        EXPECT_GT(Dot(Bone(node).right, dir), 1.0f - 1e-5f) << "node " << node;
        EXPECT_EQ(SimSkeleton::MainChild(node), child);
    }
    for (int node = 0; node < kNodeCount; ++node) {
        const FrameMatrix& m = *host.BoneMatrix(ped, node);
        EXPECT_NEAR(Length(m.right), 1.0f, 1e-5f) << node;
        EXPECT_NEAR(Length(m.up), 1.0f, 1e-5f) << node;
        EXPECT_NEAR(Length(m.at), 1.0f, 1e-5f) << node;
        EXPECT_NEAR(Dot(m.right, m.up), 0.0f, 1e-5f) << node;
        EXPECT_NEAR(Dot(m.right, m.at), 0.0f, 1e-5f) << node;
        EXPECT_NEAR(Dot(m.up, m.at), 0.0f, 1e-5f) << node;
        EXPECT_GT(Dot(Cross(m.right, m.up), m.at), 0.99f) << "right-handed, node " << node;
    }
}

TEST_F(SkeletonTest, RollConventions) {
    for (int node : {1, 2, 3, 4, 5, 9, 15}) {
        const FrameMatrix& m = Bone(node);
        EXPECT_LT(m.at.x, 0.0f) << "at leans to the character's left, node " << node;
        EXPECT_NEAR(Dot(m.at, Cross(AxisX, m.right)), 0.0f, 1e-5f)
            << "at lies in the plane of x and the bone, node " << node;
    }
    for (int node : {10, 11, 12, 13, 16, 17, 18, 19, 26, 30}) {
        EXPECT_NEAR(Bone(node).at.z, 0.0f, 1e-5f) << "z-referenced roll, node " << node;
    }
    for (int node : {25, 29}) {
        EXPECT_NEAR(Bone(node).at.x, 0.0f, 1e-5f) << "x-referenced roll, node " << node;
    }
    const Vector3 pelvisAt = Bone(1).at;
    for (int node : {24, 28}) {
        const FrameMatrix& m = Bone(node);
        EXPECT_LT(Dot(m.up, Cross(pelvisAt, m.right)), -0.99f)
            << "hip turned half a turn, node " << node;
    }
    for (int node : {6, 7, 8, 14, 20, 21, 22, 23, 27, 31}) {
        const FrameMatrix& m = Bone(node);
        const FrameMatrix& p = Bone(ParentNode(node));
        ExpectNear(m.right, p.right, 1e-5f, "leaf right", node);
        ExpectNear(m.up, p.up, 1e-5f, "leaf up", node);
    }
}

TEST_F(SkeletonTest, IncrementalRefreshMatchesAFullRecompute) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> anyNode(0, kNodeCount - 1);
    SimSkeleton& live = *host.Skeleton(ped);
    for (int step = 0; step < 400; ++step) {
        const int node = anyNode(rng);
        BoneFrame& f = *host.BoneFrameData(ped, node);
        f.rotation = Normalized({unit(rng), unit(rng), unit(rng), unit(rng)});
        if (step % 3 == 0) f.translation = {unit(rng) * 0.3f, unit(rng) * 0.3f, unit(rng) * 0.3f};
        if (step % 17 == 0) {
            FrameMatrix& world = *host.PedMatrix(ped);
            RotateFrame(world, AxisZ, unit(rng) * 90.0f, Combine::Local);
            world.pos += Vector3{unit(rng), unit(rng), unit(rng)};
        }
        host.UpdateSkeleton(ped);
        if (step % 10 != 9) continue;
        SimSkeleton reference;
        for (int n = 0; n < kNodeCount; ++n) *reference.Frame(n) = *live.Frame(n);
        reference.RefreshAll(*host.PedMatrix(ped));
        for (int n = 0; n < kNodeCount; ++n) {
            const FrameMatrix& a = *live.Matrix(n);
            const FrameMatrix& b = *reference.Matrix(n);
            ASSERT_TRUE(a.right == b.right && a.up == b.up && a.at == b.at && a.pos == b.pos)
                << "step " << step << " node " << n;
        }
    }
}

// The written-out matrix product of the refresh rounds exactly as the
// geometry helpers do: the poses of long rides depend on the last bit.
TEST_F(SkeletonTest, ARefreshedBoneIsItsFrameTimesItsParentToTheLastBit) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    SimSkeleton& live = *host.Skeleton(ped);
    for (int step = 0; step < 200; ++step) {
        const int node = 1 + step % (kNodeCount - 1);
        BoneFrame& f = *live.Frame(node);
        // Of any length: the game's frame data need not be normalised.
        f.rotation = {unit(rng), unit(rng), unit(rng), unit(rng) * 2.0f};
        f.translation = {unit(rng), unit(rng), unit(rng)};
        host.UpdateSkeleton(ped);
        const FrameMatrix want = Multiply(QuaternionToFrame(f.rotation, f.translation), Bone(ParentNode(node)));
        const FrameMatrix& got = Bone(node);
        ASSERT_TRUE(want.right == got.right && want.up == got.up && want.at == got.at && want.pos == got.pos)
            << "node " << node << " step " << step;
    }
}

TEST_F(SkeletonTest, RefreshRecomputesOnlyWhatChanged) {
    SimSkeleton& s = *host.Skeleton(ped);
    host.UpdateSkeleton(ped);
    EXPECT_EQ(s.LastRefreshCount(), 0);
    host.BoneFrameData(ped, 14)->rotation = AxisAngle(AxisZ, 10.0f);  // a leaf
    host.UpdateSkeleton(ped);
    EXPECT_EQ(s.LastRefreshCount(), 1);
    host.BoneFrameData(ped, 10)->rotation = AxisAngle(AxisZ, 10.0f);  // shoulder: 10..14
    host.UpdateSkeleton(ped);
    EXPECT_EQ(s.LastRefreshCount(), 5);
    host.PedMatrix(ped)->pos.x += 1.0f;
    host.UpdateSkeleton(ped);
    EXPECT_EQ(s.LastRefreshCount(), kNodeCount);

    // Any one bone written: that bone and its descendants, nothing else;
    // handed out and left as it was, or written back unchanged: nothing.
    for (int node = 0; node < kNodeCount; ++node) {
        int subtree = 0;
        for (int n = 0; n < kNodeCount; ++n) {
            for (int up = n; up != 0 && up != node; up = ParentNode(up)) {
                if (ParentNode(up) == node) ++subtree;
            }
        }
        ++subtree;  // the node itself
        host.AnimatePed(ped);
        BoneFrame& f = *host.BoneFrameData(ped, node);
        host.UpdateSkeleton(ped);
        EXPECT_EQ(s.LastRefreshCount(), 0) << node;
        const Quaternion before = f.rotation;
        f.rotation = AxisAngle(AxisY, 5.0f);
        host.UpdateSkeleton(ped);
        EXPECT_EQ(s.LastRefreshCount(), subtree) << node;
        host.UpdateSkeleton(ped);
        EXPECT_EQ(s.LastRefreshCount(), 0) << node;
        f.rotation = before;
        host.UpdateSkeleton(ped);
        EXPECT_EQ(s.LastRefreshCount(), subtree) << node;
        f.rotation = before;
        host.UpdateSkeleton(ped);
        EXPECT_EQ(s.LastRefreshCount(), 0) << node;
    }
}

// A game that hands out its frame arrays as memory: writes through the array
// reach the matrices at the next refresh, in every later frame too.
TEST_F(SkeletonTest, FrameDataWrittenThroughTheWholeArrayIsRefreshed) {
    SimSkeleton& s = *host.Skeleton(ped);
    BoneFrame* frames = s.FrameArray();
    for (int frame = 0; frame < 2; ++frame) {
        host.AnimatePed(ped);
        const Vector3 handBefore = host.BoneMatrix(ped, kRightHandNode)->pos;
        frames[16].rotation = AxisAngle(AxisZ, 20.0f);  // the right upper arm
        host.UpdateSkeleton(ped);
        EXPECT_EQ(s.LastRefreshCount(), 5) << frame;
        EXPECT_GT(Distance(host.BoneMatrix(ped, kRightHandNode)->pos, handBefore), 0.01f) << frame;
    }
}

TEST_F(SkeletonTest, NonFiniteFrameDataNeverReachesAMatrix) {
    host.BoneFrameData(ped, 10)->rotation = {std::nanf(""), 0.0f, 0.0f, 1.0f};
    host.BoneFrameData(ped, 25)->translation = {INFINITY, 0.0f, 0.0f};
    host.BoneFrameData(ped, 3)->rotation = {3e38f, 3e38f, 3e38f, 3e38f};  // overflows when squared
    host.UpdateSkeleton(ped);
    for (int n = 0; n < kNodeCount; ++n) EXPECT_TRUE(IsFinite(*host.BoneMatrix(ped, n))) << n;
    EXPECT_GT(host.Skeleton(ped)->NonFiniteInputs(), 0);
}

TEST_F(SkeletonTest, AnimatePedRestoresTheGamePose) {
    host.BoneFrameData(ped, 11)->rotation = AxisAngle(AxisX, 60.0f);
    host.UpdateSkeleton(ped);
    host.BoneMatrix(ped, 5)->right = {};  // written directly, as the head handling does
    host.AnimatePed(ped);
    EXPECT_EQ(host.BoneFrameData(ped, 11)->rotation, SimSkeleton::RestFrames()[11].rotation);
    EXPECT_NEAR(Length(host.BoneMatrix(ped, 5)->right), 1.0f, 1e-5f);
    ExpectNear(host.BoneMatrix(ped, 12)->pos, kJoints[12], 1e-5f, "hand", 12);
}

TEST(SimHostSkeleton, LookupsOfUnknownBonesAndSkeletonlessCharacters) {
    SimHost host;
    CPed* ped = host.CreatePed();
    for (int id : {9, 300, -1, 55}) EXPECT_EQ(host.BoneHierarchyIndex(ped, id), -1) << id;
    EXPECT_EQ(host.BoneHierarchyIndex(ped, 24), kRightHandNode);
    EXPECT_EQ(host.BoneMatrix(ped, 32), nullptr);
    EXPECT_EQ(host.BoneFrameData(ped, -1), nullptr);

    CPed* bare = host.CreatePed(FrameMatrix::Identity(), false);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(host.BoneHierarchyIndex(bare, 0), -1);
    EXPECT_EQ(host.BoneHierarchyIndex(bare, 24), -1);
    EXPECT_EQ(host.BoneMatrix(bare, 0), nullptr);
    EXPECT_EQ(host.BoneFrameData(bare, 1), nullptr);
    host.UpdateSkeleton(bare);
    host.AnimatePed(bare);
    ASSERT_TRUE(host.AddVehicleModel(MakeSedanModel()));
    EXPECT_TRUE(host.SeatPed(bare, host.CreateVehicle(400), true));  // placing touches no skeleton
}

}  // namespace
}  // namespace kovra::sim
