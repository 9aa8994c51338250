#include "sim/SimSkeleton.h"

#include "kovra/ik/Geometry.h"

namespace kovra::sim {

namespace {

// Joint positions of the seated driver, character space (x right, y forward,
// z up), indexed by node.
constexpr std::array<Vector3, kNodeCount> kRestPositions{{
    {0.0f, 0.0f, 0.0f},                                               // 0 root
    {0.0f, 0.0f, 0.0f},       {0.0f, -0.02f, 0.12f}, {0.0f, -0.04f, 0.26f},  // 1-3 pelvis, spine
    {0.0f, -0.04f, 0.42f},    {0.0f, -0.02f, 0.56f}, {0.0f, 0.0f, 0.64f},    // 4-6
    {-0.03f, 0.09f, 0.70f},   {0.03f, 0.09f, 0.70f},                          // 7-8
    // arm 31-36 (left)
    {-0.03f, -0.01f, 0.50f},  {-0.19f, -0.03f, 0.49f}, {-0.26f, 0.15f, 0.28f},
    {-0.21f, 0.42f, 0.45f},   {-0.20f, 0.51f, 0.46f},  {-0.20f, 0.56f, 0.46f},
    // arm 21-26 (right): the left arm mirrored in x
    {0.03f, -0.01f, 0.50f},   {0.19f, -0.03f, 0.49f},  {0.26f, 0.15f, 0.28f},
    {0.21f, 0.42f, 0.45f},    {0.20f, 0.51f, 0.46f},   {0.20f, 0.56f, 0.46f},
    // chest and belly attachments
    {0.09f, 0.08f, 0.36f},    {-0.09f, 0.08f, 0.36f},  {0.0f, 0.10f, 0.12f},
    // leg 41-44 (left)
    {-0.09f, 0.02f, -0.02f},  {-0.12f, 0.44f, 0.06f},
    {-0.13f, 0.70f, -0.33f},  {-0.13f, 0.85f, -0.38f},
    // leg 51-54 (right): mirrored
    {0.09f, 0.02f, -0.02f},   {0.12f, 0.44f, 0.06f},
    {0.13f, 0.70f, -0.33f},   {0.13f, 0.85f, -0.38f},
}};

enum class Roll { Root, Leaf, SideAt, ZReference, XReference, Hip };

struct NodeRule {
    int mainChild;
    Roll roll;
};

constexpr std::array<NodeRule, kNodeCount> kRules{{
    {-1, Roll::Root},
    {2, Roll::SideAt},      {3, Roll::SideAt},      {4, Roll::SideAt},     {5, Roll::SideAt},
    {6, Roll::SideAt},      {-1, Roll::Leaf},       {-1, Roll::Leaf},      {-1, Roll::Leaf},
    {10, Roll::SideAt},     {11, Roll::ZReference}, {12, Roll::ZReference}, {13, Roll::ZReference},
    {14, Roll::ZReference}, {-1, Roll::Leaf},
    {16, Roll::SideAt},     {17, Roll::ZReference}, {18, Roll::ZReference}, {19, Roll::ZReference},
    {20, Roll::ZReference}, {-1, Roll::Leaf},
    {-1, Roll::Leaf},       {-1, Roll::Leaf},       {-1, Roll::Leaf},
    {25, Roll::Hip},        {26, Roll::XReference}, {27, Roll::ZReference}, {-1, Roll::Leaf},
    {29, Roll::Hip},        {30, Roll::XReference}, {31, Roll::ZReference}, {-1, Roll::Leaf},
}};

struct RestPose {
    std::array<FrameMatrix, kNodeCount> orientations;  // character space, pos = joint
    std::array<BoneFrame, kNodeCount> frames;
};

RestPose BuildRestPose() {
    RestPose pose;
    auto& world = pose.orientations;
    for (int node = 0; node < kNodeCount; ++node) {
        const NodeRule& rule = kRules[node];
        FrameMatrix m;
        switch (rule.roll) {
            case Roll::Root:
                // The root stands up like the pelvis: X up, Z to the left.
                m.right = AxisZ;
                m.up = AxisY;
                m.at = -AxisX;
                break;
            case Roll::Leaf:
                m = world[ParentNode(node)];
                break;
            default: {
                const Vector3 dir =
                    NormalizedCopy(kRestPositions[rule.mainChild] - kRestPositions[node]);
                if (rule.roll == Roll::SideAt) {
                    // The character's left (-x) made perpendicular to the bone.
                    m.right = dir;
                    m.at = NormalizedCopy(dir * Dot(AxisX, dir) - AxisX);
                    m.up = Cross(m.at, m.right);
                } else if (rule.roll == Roll::ZReference) {
                    m = BasisFromDirection(dir, AxisZ, 0);
                } else if (rule.roll == Roll::XReference) {
                    m = BasisFromDirection(dir, AxisX, 0);
                } else {  // Hip: built against the pelvis, then half a turn about the bone
                    const Vector3 pelvisAt = world[1].at;
                    m.right = dir;
                    m.up = NormalizedCopy(Cross(pelvisAt, dir));
                    m.at = Cross(m.right, m.up);
                    m.up = -m.up;
                    m.at = -m.at;
                }
                break;
            }
        }
        m.pos = kRestPositions[node];
        m.flags = 0;
        world[node] = m;
    }

    for (int node = 0; node < kNodeCount; ++node) {
        const FrameMatrix parent = node == 0 ? FrameMatrix::Identity() : world[ParentNode(node)];
        FrameMatrix inverseParent;
        if (!Invert(WithoutTranslation(parent), inverseParent)) {
            inverseParent = FrameMatrix::Identity();
        }
        const FrameMatrix local = Multiply(WithoutTranslation(world[node]), inverseParent);
        pose.frames[node].rotation = MatrixToQuaternion(local);
        pose.frames[node].translation = ToFrameLocal(world[node].pos, parent);
    }
    return pose;
}

const RestPose& TheRestPose() {
    static const RestPose pose = BuildRestPose();
    return pose;
}

bool SameFrame(const BoneFrame& a, const BoneFrame& b) {
    return a.rotation == b.rotation && a.translation == b.translation;
}

bool SameMatrix(const FrameMatrix& a, const FrameMatrix& b) {
    return a.right == b.right && a.up == b.up && a.at == b.at && a.pos == b.pos;
}

bool ValidNode(int node) { return node >= 0 && node < kNodeCount; }

}  // namespace

SimSkeleton::SimSkeleton() {
    ApplyRestPose();
    RefreshAll(FrameMatrix::Identity());
}

const std::array<Vector3, kNodeCount>& SimSkeleton::RestPositions() { return kRestPositions; }

const std::array<FrameMatrix, kNodeCount>& SimSkeleton::RestOrientations() {
    return TheRestPose().orientations;
}

const std::array<BoneFrame, kNodeCount>& SimSkeleton::RestFrames() { return TheRestPose().frames; }

int SimSkeleton::MainChild(int node) { return ValidNode(node) ? kRules[node].mainChild : -1; }

BoneFrame* SimSkeleton::Frame(int node) { return ValidNode(node) ? &frames_[node] : nullptr; }

FrameMatrix* SimSkeleton::Matrix(int index) {
    return ValidNode(index) ? &matrices_[index] : nullptr;
}

const FrameMatrix* SimSkeleton::Matrix(int index) const {
    return ValidNode(index) ? &matrices_[index] : nullptr;
}

void SimSkeleton::Recompute(int node, const FrameMatrix& characterWorld) {
    const FrameMatrix& parent = node == 0 ? characterWorld : matrices_[ParentNode(node)];
    const BoneFrame& f = frames_[node];
    FrameMatrix m;
    bool usable = IsFinite(f.rotation) && IsFinite(f.translation);
    if (usable) {
        m = Multiply(QuaternionToFrame(f.rotation, f.translation), parent);
        usable = IsFinite(m);  // a huge but finite quaternion can still overflow
    }
    if (!usable) {
        const BoneFrame& rest = RestFrames()[node];
        m = Multiply(QuaternionToFrame(rest.rotation, rest.translation), parent);
        sawNonFinite_ = true;
    }
    matrices_[node] = m;
}

void SimSkeleton::Refresh(const FrameMatrix& characterWorld) {
    sawNonFinite_ = false;
    FrameMatrix world = characterWorld;
    world.flags = 0;
    if (!IsFinite(world)) {
        world = FrameMatrix::Identity();
        sawNonFinite_ = true;
    }
    const bool all = !refreshed_ || !SameMatrix(world, refreshedWorld_);
    std::array<bool, kNodeCount> dirty{};
    int count = 0;
    // Parents have lower node numbers than their children, so one forward
    // pass sees every parent's state before its children.
    for (int node = 0; node < kNodeCount; ++node) {
        const bool d = all || !SameFrame(frames_[node], refreshedFrames_[node]) ||
                       (node > 0 && dirty[ParentNode(node)]);
        dirty[node] = d;
        if (!d) continue;
        Recompute(node, world);
        refreshedFrames_[node] = frames_[node];
        ++count;
    }
    refreshedWorld_ = world;
    refreshed_ = true;
    lastRefreshCount_ = count;
    if (sawNonFinite_) ++nonFiniteInputs_;
}

void SimSkeleton::RefreshAll(const FrameMatrix& characterWorld) {
    refreshed_ = false;
    Refresh(characterWorld);
}

}  // namespace kovra::sim
