#include "kovra/ik/BoneAccess.h"

#include "kovra/ik/Geometry.h"

namespace kovra {

const FrameMatrix* BoneWorldMatrix(Host& host, CPed* ped, BoneId boneId) {
    if (ped == nullptr) return nullptr;
    const int index = host.BoneHierarchyIndex(ped, boneId);
    if (index < 0) return nullptr;
    return host.BoneMatrix(ped, index);
}

bool BonePosition(Host& host, CPed* ped, BoneId boneId, Vector3& out) {
    const FrameMatrix* m = BoneWorldMatrix(host, ped, boneId);
    if (m == nullptr || !IsFinite(m->pos)) return false;
    out = m->pos;
    return true;
}

Quaternion* BoneRotationSlot(Host& host, CPed* ped, NodeIndex node) {
    if (ped == nullptr || node < 0 || node >= kNodeCount) return nullptr;
    BoneFrame* frame = host.BoneFrameData(ped, node);
    return frame == nullptr ? nullptr : &frame->rotation;
}

void RefreshBoneMatrices(Host& host, CPed* ped) {
    if (ped != nullptr) host.UpdateSkeleton(ped);
}

bool PlaceUnder(Host& host, CPed* ped, NodeIndex node, const FrameMatrix& parentWorld, FrameMatrix& out) {
    const BoneFrame* frame = host.BoneFrameData(ped, node);
    if (frame == nullptr) return false;
    // The host's own product: local rotation rows and translation, then the
    // parent's world frame.
    out = Multiply(QuaternionToFrame(frame->rotation, frame->translation), parentWorld);
    out.flags = parentWorld.flags;
    return IsFinite(out);
}

void WriteBoneRotation(Quaternion& slot, const Quaternion& rotation, float weight, const Quaternion* near) {
    if (!(weight > 0.0f) || !IsFinite(rotation)) return;
    if (weight >= 1.0f) {
        slot = rotation;
        return;
    }
    // A slot the host left unnormalised still blends along a sane arc.
    const Quaternion from = Normalized(slot);
    const Quaternion shorter = Slerp(from, rotation, weight);
    slot = shorter;
    if (near == nullptr || !IsFinite(*near)) return;
    const Quaternion longer = SlerpLongWay(from, rotation, weight);
    // The other side only when it is clearly nearer: a tie keeps the
    // shorter arc.
    constexpr float kClearlyNearer = 1e-3f;
    if (IsFinite(longer) && std::fabs(Dot(longer, *near)) > std::fabs(Dot(shorter, *near)) + kClearlyNearer) {
        slot = longer;
    }
}

void SetBoneWorldRotation(Host& host, CPed* ped, BoneId boneId, float weight,
                          const FrameMatrix& target, const Quaternion* near) {
    if (!(weight > 0.0f)) return;
    const FrameMatrix* parent = BoneWorldMatrix(host, ped, ParentBoneId(boneId));
    Quaternion* slot = BoneRotationSlot(host, ped, BoneIdToNode(boneId));
    if (parent == nullptr || slot == nullptr) return;
    WriteBoneWorldRotation(*slot, *parent, weight, target, near);
}

void WriteBoneWorldRotation(Quaternion& slot, const FrameMatrix& parentWorld, float weight,
                            const FrameMatrix& target, const Quaternion* near) {
    if (!(weight > 0.0f)) return;
    FrameMatrix parentInverse;
    if (!InvertRotation(parentWorld, parentInverse)) return;
    FrameMatrix local;
    local.right = TransformVector(target.right, parentInverse);
    local.up = TransformVector(target.up, parentInverse);
    local.at = TransformVector(target.at, parentInverse);
    if (!IsFinite(local)) return;
    WriteBoneRotation(slot, Normalized(MatrixToQuaternion(local)), weight, near);
}

float ArmReach(Host& host, CPed* ped) {
    Vector3 shoulder, elbow, wrist;
    if (!BonePosition(host, ped, 22, shoulder) || !BonePosition(host, ped, 23, elbow) ||
        !BonePosition(host, ped, 24, wrist)) {
        return 0.0f;
    }
    return Distance(elbow, shoulder) + Distance(wrist, elbow);
}

}  // namespace kovra
