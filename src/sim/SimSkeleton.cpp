#include "sim/SimSkeleton.h"

#include <bit>
#include <cstring>

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

static_assert(kNodeCount == 32, "one bit per node");

// Compared byte for byte: cheaper than number by number, and frame data
// left as it was (a NaN included) is not recomputed again.
bool SameFrame(const BoneFrame& a, const BoneFrame& b) {
    static_assert(sizeof(BoneFrame) == 28, "a rotation and a translation, unpadded");
    return std::memcmp(&a, &b, sizeof(BoneFrame)) == 0;
}

// Pads and flags are zero in both.
bool SameMatrix(const FrameMatrix& a, const FrameMatrix& b) {
    return std::memcmp(&a, &b, sizeof(FrameMatrix)) == 0;
}

// One row of a FrameMatrix with the word after it, four lanes wide: the
// rows are 16 bytes apart, and the words after them (flags and pads) are 0 in
// every matrix the skeleton multiplies by.
using Lanes = float __attribute__((vector_size(16)));

Lanes Row(const FrameMatrix& m, int row) {
    Lanes lanes;
    std::memcpy(&lanes, reinterpret_cast<const unsigned char*>(&m) + 16 * row, sizeof lanes);
    return lanes;
}

// The fourth lane lands on the flags or pad word. It holds a zero there (a
// product of the parent's zero words), which adding +0 makes a positive one:
// the word stays 0, and the row goes out in one store that the next bone's
// load can take straight from the store buffer.
void StoreRow(FrameMatrix& m, int row, Lanes lanes) {
    lanes += 0.0f;
    std::memcpy(reinterpret_cast<unsigned char*>(&m) + 16 * row, &lanes, sizeof lanes);
}

// The rotation rows of a bone's local frame data, as the plugin works them
// out between refreshes, so that the two are the same to the last bit.
void LocalRows(const Quaternion& q, FrameMatrix& out) {
    const FrameMatrix rows = QuaternionToFrame(q);
    out.right = rows.right;
    out.up = rows.up;
    out.at = rows.at;
}

// The world matrix of a bone: its local rows and translation carried into
// its parent's space, Multiply's sums in Multiply's order, lane by lane.
// Returns lanes that are all 0 when the result is finite and hold a NaN when
// it is not (frame data that is not finite, or finite but so large that it
// overflows): x - x is 0 for every finite x and NaN for the rest, and so is
// their sum. Callers add them up over many bones and look once.
inline Lanes PlaceInParent(const FrameMatrix& local, const Vector3& t, const FrameMatrix& parent,
                           FrameMatrix& out) {
    const Lanes r = Row(parent, 0), u = Row(parent, 1), a = Row(parent, 2), p = Row(parent, 3);
    const auto carry = [&](const Vector3& v) { return r * v.x + u * v.y + a * v.z; };
    const Lanes right = carry(local.right);
    const Lanes up = carry(local.up);
    const Lanes at = carry(local.at);
    const Lanes pos = p + r * t.x + u * t.y + a * t.z;
    StoreRow(out, 0, right);
    StoreRow(out, 1, up);
    StoreRow(out, 2, at);
    StoreRow(out, 3, pos);
    return (right - right) + (up - up) + (at - at) + (pos - pos);
}

bool AllZero(Lanes lanes) { return lanes[0] + lanes[1] + lanes[2] + lanes[3] == 0.0f; }

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

int SimSkeleton::MainChild(int node) { return Valid(node) ? kRules[node].mainChild : -1; }

void SimSkeleton::ApplyRestPose() {
    frames_ = RestFrames();
    handedOut_ = kAllNodes;
}

namespace {
// Where the frame data cannot give a finite matrix, the rest pose stands in.
[[gnu::noinline]] void PlaceRestInParent(int node, const FrameMatrix& parent, FrameMatrix& m) {
    const BoneFrame& rest = SimSkeleton::RestFrames()[node];
    FrameMatrix local;
    LocalRows(rest.rotation, local);
    PlaceInParent(local, rest.translation, parent, m);
}
}  // namespace

bool SimSkeleton::Recompute(std::uint32_t dirty, std::uint32_t changed,
                            const FrameMatrix& characterWorld, bool careful) {
    Lanes notFinite{};
    // In node order: every parent is recomputed before its children.
    for (std::uint32_t bits = dirty; bits != 0; bits &= bits - 1) {
        const int node = std::countr_zero(bits);
        const FrameMatrix& parent = node == 0 ? characterWorld : matrices_[ParentNode(node)];
        const BoneFrame& f = frames_[node];
        // A bone moved only by its parent keeps its local rows.
        if ((changed >> node) & 1u) LocalRows(f.rotation, locals_[node]);
        const Lanes check = PlaceInParent(locals_[node], f.translation, parent, matrices_[node]);
        if (!careful) {
            notFinite += check;
        } else if (!AllZero(check)) {
            PlaceRestInParent(node, parent, matrices_[node]);
            sawNonFinite_ = true;
        }
    }
    return AllZero(notFinite);
}

void SimSkeleton::Refresh(const FrameMatrix& characterWorld) { Update(characterWorld, false); }

void SimSkeleton::RefreshAll(const FrameMatrix& characterWorld) {
    Update(characterWorld, true);
    handedOut_ = wholeArrayOut_ ? kAllNodes : 0;
}

void SimSkeleton::Update(const FrameMatrix& characterWorld, bool all) {
    sawNonFinite_ = false;
    FrameMatrix world = characterWorld;
    world.flags = world.pad0 = world.pad1 = world.pad2 = 0;
    if (!IsFinite(world)) {
        world = FrameMatrix::Identity();
        sawNonFinite_ = true;
    }
    // Only frame data handed out can have changed since the last refresh.
    std::uint32_t changed = refreshed_ ? 0 : kAllNodes;
    std::uint32_t dirty = changed;
    for (std::uint32_t bits = handedOut_ & ~changed; bits != 0; bits &= bits - 1) {
        const int node = std::countr_zero(bits);
        if (SameFrame(frames_[node], refreshedFrames_[node])) continue;
        changed |= 1u << node;
        dirty |= kSubtreeBits[node];
    }
    if (all || !SameMatrix(world, refreshedWorld_)) dirty = kAllNodes;
    // Frame data is nearly always finite: one pass that looks at the result
    // once, and a second one bone by bone only when something was not.
    if (dirty != 0 && !Recompute(dirty, changed, world, false)) Recompute(dirty, changed, world, true);
    for (std::uint32_t bits = changed; bits != 0; bits &= bits - 1) {
        const int node = std::countr_zero(bits);
        refreshedFrames_[node] = frames_[node];
    }
    refreshedWorld_ = world;
    refreshed_ = true;
    lastRefreshCount_ = std::popcount(dirty);
    if (sawNonFinite_) ++nonFiniteInputs_;
}

}  // namespace kovra::sim
