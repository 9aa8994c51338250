#include "kovra/ik/SkeletonSync.h"

#include <array>

#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"

namespace kovra {

namespace {

static_assert(kNodeCount <= 32, "one bit per node");

// Bit per node of each node's way up to the root, itself included.
constexpr std::array<std::uint32_t, kNodeCount> kAncestry = [] {
    std::array<std::uint32_t, kNodeCount> ancestry{};
    // Parents have lower numbers than their children.
    for (NodeIndex node = 0; node < kNodeCount; ++node) {
        ancestry[node] = (1u << node) | (node > 0 ? ancestry[ParentNode(node)] : 0u);
    }
    return ancestry;
}();

}  // namespace

void SkeletonSync::Written(CPed* ped, NodeIndex node) {
    if (ped == nullptr) return;
    if (ped != ped_) {
        // The other character's writes came from outside a driver's turn
        // (which flushes at its end); it is refreshed only while the game
        // still has it, as it may be gone by now.
        if (pending_ != 0 && host_.PedSlot(ped_) >= 0) RefreshBoneMatrices(host_, ped_);
        pending_ = known_ = 0;
        ped_ = ped;
    }
    // A node outside the table stands for the whole skeleton.
    const bool inTable = node > 0 && node < kNodeCount;
    pending_ |= inTable ? 1u << node : ~0u;
    known_ &= inTable ? ~kSubtreeBits[node] : 0u;
}

void SkeletonSync::Known(CPed* ped, NodeIndex node, const FrameMatrix& world) {
    if (!Pending(ped) || node <= 0 || node >= kNodeCount) return;
    worlds_[node] = world;
    known_ |= 1u << node;
}

void SkeletonSync::BeforeRead(CPed* ped, BoneId boneId) {
    if (!Pending(ped)) return;
    const NodeIndex node = BoneIdToNode(boneId);
    // A bone not in the table may hang anywhere: refresh to be sure.
    if (node == 0 || (pending_ & kAncestry[node]) != 0) Refresh(ped);
}

const FrameMatrix* SkeletonSync::World(CPed* ped, BoneId boneId) {
    const NodeIndex node = BoneIdToNode(boneId);
    if (known_ != 0 && Pending(ped) && node != 0 && (pending_ & kAncestry[node]) != 0) {
        if (const FrameMatrix* derived = Derived(ped, node)) return derived;
    }
    BeforeRead(ped, boneId);
    return BoneWorldMatrix(host_, ped, boneId);
}

bool SkeletonSync::Position(CPed* ped, BoneId boneId, Vector3& out) {
    const FrameMatrix* m = World(ped, boneId);
    if (m == nullptr || !IsFinite(m->pos)) return false;
    out = m->pos;
    return true;
}

const FrameMatrix* SkeletonSync::Derived(CPed* ped, NodeIndex node) {
    if ((known_ >> node) & 1u) return &worlds_[node];
    if ((known_ & kAncestry[node]) == 0) return nullptr;
    const FrameMatrix* parent = Derived(ped, ParentNode(node));
    // Data the game cannot place finitely is left to its refresh.
    if (parent == nullptr || !PlaceUnder(host_, ped, node, *parent, worlds_[node])) return nullptr;
    known_ |= 1u << node;
    return &worlds_[node];
}

void SkeletonSync::Flush(CPed* ped) {
    if (Pending(ped)) Refresh(ped);
}

void SkeletonSync::Refresh(CPed* ped) {
    if (ped == nullptr) return;
    RefreshBoneMatrices(host_, ped);
    if (ped == ped_) pending_ = known_ = 0;
}

}  // namespace kovra
